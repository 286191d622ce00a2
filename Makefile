# Front door of the skygap build.
#   make                 build every program (Release) into build/bin
#   make test            build and run the whole test suite
#   make test-sanitize   the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   make fuzz-smoke      every fuzz target for FUZZ_SECONDS seconds (clang, libFuzzer)
#   make test-minimal    a build without any optional photograph reader (JPEG, TIFF, PNG,
#                        raw), and its skyimage tests
#   make test-cluster    the Slurm job-array recipe on a one-node cluster (root, slurm-wlm)
#   make install PREFIX=/usr/local
#   make clean

SHELL := /bin/bash
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 20

.PHONY: all build test test-sanitize test-minimal fuzz-smoke test-cluster install clean

all: build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYGAP_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# The build must work without any of the optional readers: the programs that read photographs
# and the image layer's tests built in build-minimal, and those tests run there.
test-minimal:
	cmake -S . -B build-minimal -DCMAKE_BUILD_TYPE=Release -DSKYGAP_WITH_JPEG=OFF \
		-DSKYGAP_WITH_TIFF=OFF -DSKYGAP_WITH_PNG=OFF -DSKYGAP_WITH_RAW=OFF $(CMAKE_FLAGS)
	cmake --build build-minimal -j $(JOBS) --target gapbatch gapimage canopysim skyimage_test \
		replay_photo_read replay_bmp_load
	build-minimal/test-bin/skyimage_test
	cd build-minimal && ctest --output-on-failure -j $(JOBS) -R '^fuzz_replay[.](photo_read|bmp_load)$$'

# Each target starts from a copy of its committed seed corpus (fuzz/corpus/NAME) with the extra
# libFuzzer flags of fuzz/NAME.flags, if any; findings land in build-fuzz/.
fuzz-smoke:
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DSKYGAP_FUZZ=ON -DSKYGAP_SANITIZE=ON -DSKYGAP_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	set -e; for t in build-fuzz/fuzz/fuzz_*; do \
		name=$${t##*/fuzz_}; rm -rf build-fuzz/corpus-$$name; \
		cp -r fuzz/corpus/$$name build-fuzz/corpus-$$name; \
		echo "== $$name"; \
		$$t -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(CURDIR)/build-fuzz/crash-$$name- \
			-print_final_stats=1 -close_fd_mask=3 $$(cat fuzz/$$name.flags 2>/dev/null) $(CURDIR)/build-fuzz/corpus-$$name 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' ; \
		test $${PIPESTATUS[0]} -eq 0; \
	done

# The Slurm job array of the README, for real, on a one-node cluster started for the test
# (needs root, slurm-wlm and munge; says so and stops otherwise).
test-cluster: build
	sh tests/slurm_array.sh build/bin examples

install: build
	cmake --install build --prefix $(PREFIX)

clean:
	rm -rf build build-sanitize build-fuzz build-minimal

# The demonstration (canopysim/demo.sh): builds the programs, photographs a simulated canopy of
# known leaf area index, runs the whole suite on it and prints the estimates beside the truth.
# Reports in build/demo/.
.PHONY: demo
demo:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target canopysim gapimage pasket tessor bravik quinda \
		zephor keldro moskira
	sh canopysim/demo.sh build/bin build/demo
