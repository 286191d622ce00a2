#!/bin/bash
# Whole gapimage runs on the synthetic 24 Mpx photograph (6000 x 4000, rim points 3000 0,
# 1000 2000, 5000 2000, threshold 127), an earlier build beside this one, interleaved in one
# run so that both see the same machine:
#
#   bench/compare_gapimage.sh BEFORE/bin/gapimage AFTER/bin/gapimage [RUNS]
#
# Cases: equidistant 9 x 8; orthographic 90 x 360; gap sizes of 2001 circles (0 to 90 degrees,
# step 0). Prints per case the median wall, user and system times of each build in ms, the
# ratio of the wall medians, and the peak resident memory; checks that both builds write the
# same screen output and the same file.
set -eu
before=$(realpath "$1")
after=$(realpath "$2")
runs=${3:-21}
maker=${MAKE_TEST_PHOTO:-$(dirname "$(dirname "$after")")/bench-bin/make_test_photo}
dir=$(mktemp -d /tmp/compare_gapimage.XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$maker" photo.bmp
cat photo.bmp > /dev/null  # in the page cache for every run

points='3000 0\n1000 2000\n5000 2000\n'
printf "photo.bmp\n1\n$points""g\n127\nn\n9 8\n0\n" > equidistant_9x8.txt
printf "photo.bmp\n2\n$points""g\n127\nn\n90 360\n0\n" > orthographic_90x360.txt
printf "photo.bmp\n1\n$points""g\n127\ny\n0\n90\n0\n" > gap_sizes_2001.txt

# One run of BIN on ANSWERS: "wall user sys" in seconds, appended to LOG.
run() {
    local bin=$1 answers=$2 log=$3
    local TIMEFORMAT='%3R %3U %3S'
    { time "$bin" < "$answers" > /dev/null 2>&1; } 2>> "$log"
}

median_ms() {  # column COL of LOG, median in ms
    awk -v c="$2" '{ print $c * 1000 }' "$1" | sort -n |
        awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%-22s %8s %8s %7s %7s %7s %7s %7s %9s %9s\n' case before after ratio b.user \
    a.user b.sys a.sys b.peakMB a.peakMB
for case in equidistant_9x8 orthographic_90x360 gap_sizes_2001; do
    answers=$case.txt
    for b in before after; do
        bin=$before
        [ $b = after ] && bin=$after
        mkdir -p "$b" && (cd "$b" && "$bin" < ../"$answers" > screen.txt 2>&1 || true)
    done
    if ! diff -r before after > /dev/null; then
        echo "$case: the two builds wrote different output" >&2
        exit 1
    fi
    rm -rf before after
    : > "$case.before" && : > "$case.after"
    for i in $(seq "$runs"); do
        if [ $((i % 2)) -eq 0 ]; then
            run "$before" "$answers" "$case.before"
            run "$after" "$answers" "$case.after"
        else
            run "$after" "$answers" "$case.after"
            run "$before" "$answers" "$case.before"
        fi
    done
    peak() {  # peak resident memory in KiB (GNU time), or 0 without it
        if [ -x /usr/bin/time ]; then
            /usr/bin/time -f '%M' "$1" < "$answers" 2>&1 > /dev/null | tail -1
        else
            echo 0
        fi
    }
    wb=$(median_ms "$case.before" 1)
    wa=$(median_ms "$case.after" 1)
    printf '%-22s %8.1f %8.1f %6.1fx %7.1f %7.1f %7.1f %7.1f %9.1f %9.1f\n' "$case" "$wb" "$wa" \
        "$(echo "$wb / $wa" | bc -l)" "$(median_ms "$case.before" 2)" \
        "$(median_ms "$case.after" 2)" "$(median_ms "$case.before" 3)" \
        "$(median_ms "$case.after" 3)" "$(echo "$(peak "$before") / 1024" | bc -l)" \
        "$(echo "$(peak "$after") / 1024" | bc -l)"
done
echo "$runs runs each, medians in ms; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
