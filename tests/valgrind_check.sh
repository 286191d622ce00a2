#!/usr/bin/env bash
# Runs every end-to-end case and every unit-test executable under valgrind's memcheck and
# reports the runs in which valgrind found an error (invalid access, use of uninitialised
# values, leaks). Usage: tests/valgrind_check.sh [BUILD_DIR]   (default: build)
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
wrappers=$(mktemp -d)
trap 'rm -rf "$wrappers"' EXIT
vg="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite"
for program in "$build"/bin/*; do
  name=$(basename "$program")
  printf '#!/bin/sh\nexec %s --log-file=%s/vg.%%p "%s" "$@"\n' "$vg" "$wrappers" "$program" \
    > "$wrappers/$name"
  chmod +x "$wrappers/$name"
done
runs=0
for case_dir in "$top"/tests/golden/*/*/; do
  program=$(basename "$(dirname "$case_dir")")
  [ -x "$wrappers/$program" ] || continue
  "$build/test-bin/golden_runner" "$case_dir" "$wrappers/$program" > /dev/null 2>&1
  runs=$((runs + 1))
done
for t in "$build"/test-bin/*_test; do
  $vg --log-file="$wrappers/vg.%p" "$t" > /dev/null 2>&1
  runs=$((runs + 1))
done
find "$top/tests/golden" -name '*.actual' -delete
bad=$(find "$wrappers" -name 'vg.*' -size +0 | wc -l)
for log in $(find "$wrappers" -name 'vg.*' -size +0); do head -20 "$log"; done
echo "valgrind: $runs runs, $bad with errors"
[ "$bad" -eq 0 ]
