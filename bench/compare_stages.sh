#!/bin/bash
# gapimage's stages, an earlier build's benchmark beside this one's, interleaved in one run:
#
#   bench/compare_stages.sh BEFORE/bench-bin/gapimage_bench AFTER/bench-bin/gapimage_bench [ROUNDS]
#
# Build the earlier commit in another folder with this bench/gapimage_bench.cpp copied in (its
# stages of counting straight from the photograph are left out where the library lacks them).
# Each round runs every stage once in each build, the order alternating; prints per stage the
# median wall and CPU time of each build in ms.
set -eu
before=$1
after=$2
rounds=${3:-5}
log=$(mktemp /tmp/compare_stages.XXXXXX)
trap 'rm -f "$log"' EXIT

# One pass of BENCH, labelled LABEL: "label,stage,real_ms,cpu_ms" lines in the log.
pass() {
    "$2" --benchmark_format=csv 2> /dev/null | awk -F, -v l="$1" '
        /^"BM_/ { gsub(/"/, "", $1); print l "," $1 "," $3 "," $4 }' >> "$log"
}

for i in $(seq "$rounds"); do
    if [ $((i % 2)) -eq 0 ]; then
        pass before "$before"
        pass after "$after"
    else
        pass after "$after"
        pass before "$before"
    fi
done

printf '%-40s %10s %10s %10s %10s\n' stage before after b.cpu a.cpu
awk -F, '{ print $2 }' "$log" | awk '!seen[$0]++' | while read -r stage; do
    med() {  # label, column
        awk -F, -v l="$1" -v s="$stage" -v c="$2" '$1 == l && $2 == s { print $c }' "$log" |
            sort -g | awk '{ v[NR] = $1 } END {
                if (NR == 0) print "-"; else if (NR % 2) printf "%.2f\n", v[(NR + 1) / 2];
                else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
    }
    printf '%-40s %10s %10s %10s %10s\n' "$stage" "$(med before 3)" "$(med after 3)" \
        "$(med before 4)" "$(med after 4)"
done
echo "$rounds rounds, medians in ms; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
