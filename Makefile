# Front door of the skygap build.
#   make                 build every program (Release) into build/bin
#   make test            build and run the whole test suite
#   make test-sanitize   the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   make install PREFIX=/usr/local
#   make clean

PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test test-sanitize install clean

all: build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYGAP_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install build --prefix $(PREFIX)

clean:
	rm -rf build build-sanitize
