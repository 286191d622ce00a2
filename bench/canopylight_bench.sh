#!/bin/bash
# Benchmark of canopylight: a whole run over a full year at a 2-minute step (132145 sun
# positions at 50.19 N), on a 9 x 8 and on the largest, 90 x 360, gap-fraction file.
#
#   bench/canopylight_bench.sh [BUILD_DIR]      (N runs of each, default 50)
#
# Prints the mean wall time and the mean processor time (user + system) of one run. On a busy
# machine the wall time includes waiting for a processor; the processor time is the program's.
set -eu
build=${1:-build}
n=${N:-50}
bin=$(cd "$build" && pwd)/bin/canopylight
dir=$(mktemp -d /tmp/canopylight_bench.XXXXXX)
trap 'rm -rf "$dir"' EXIT

gap_file() {  # nz na: the writer's layout, gap fractions of a patchy canopy
    awk -v nz="$1" -v na="$2" 'BEGIN {
        printf "%d   %d\n", nz, na
        for (i = 0; i < nz; i++)
            for (k = na - 1; k >= 0; k--)
                printf "%f   %f   %f   %d\n", 90 * i / nz + 45 / nz, 360 * k / na + 180 / na,
                       ((i * 7 + k * 13) % 10) / 10, 1000
    }'
}
gap_file 9 8 > "$dir/small.txt"
gap_file 90 360 > "$dir/large.txt"

for f in small large; do
    TIMEFORMAT="%R %U %S"
    total=$( { time (
        for _ in $(seq "$n"); do
            "$bin" --lat 50.1876 --lon -125.6827 --elev 238.44 --csv "$dir/$f.txt" > /dev/null
        done
    ) ; } 2>&1 )
    echo "$total" | awk -v n="$n" -v f="$f" '{
        printf "%-5s file: %.1f ms wall, %.1f ms processor per run (%d runs)\n",
               f, 1000 * $1 / n, 1000 * ($2 + $3) / n, n }'
done
