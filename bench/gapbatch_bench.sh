#!/bin/sh
# Benchmark of gapbatch: N synthetic photographs of W x H pixels (default 100 of 3000 x 2000)
# analysed in one call, then split over two processes with xargs -P 2.
#
#   gapbatch/bench.sh [BUILD_DIR] [grey|colour|jpeg]
#
# Prints the wall time and photos per second of each run (GNU time's report when present).
set -eu
build=${1:-build}
kind=${2:-grey}
n=${N:-100}
w=${W:-3000}
h=${H:-2000}
bin=$(cd "$build" && pwd)
ext=bmp
[ "$kind" = jpeg ] && ext=jpg
dir=$(mktemp -d /tmp/gapbatch_bench.XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
i=1
while [ "$i" -le "$n" ]; do
    "$bin/test-bin/gapbatch_bench_photo" "photo$i.$ext" "$w" "$h" "$kind" "$i"
    i=$((i + 1))
done
cat photo*."$ext" > /dev/null  # the same warm page cache for both runs

rate() {  # label, seconds
    awk -v n="$n" -v s="$2" -v l="$1" 'BEGIN { printf "%s: %d photos in %.2f s, %.1f photos/s\n", l, n, s, n / s }'
}
now() { date +%s.%N; }

t0=$(now)
"$bin/bin/gapbatch" --quiet --summary one.csv photo*."$ext"
t1=$(now)
rate "one process" "$(echo "$t1 - $t0" | bc)"

t0=$(now)
ls photo*."$ext" | xargs -P 2 -n $(((n + 1) / 2)) "$bin/bin/gapbatch" --quiet --out . > two.csv
t1=$(now)
rate "two processes (xargs -P 2)" "$(echo "$t1 - $t0" | bc)"

if [ -x /usr/bin/time ]; then
    /usr/bin/time -v "$bin/bin/gapbatch" --quiet --summary one.csv photo*."$ext" 2>&1 |
        grep -E 'Elapsed|Maximum resident|User time|System time'
fi
