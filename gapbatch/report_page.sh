#!/bin/sh
# The batch page of a small batch as gapbatch writes it, for the browser test: three simulated
# canopies, one photograph that cannot be read, one whose disc is assumed, a site so that the
# sun tracks show.
#
#   report_page.sh BIN_DIR OUTDIR
set -eu
bin=$1
out=$2
photos=$(mktemp -d)
trap 'rm -rf "$photos"' EXIT
"$bin/canopysim" --size 500 --lai 2 --seed 1 --truth /dev/null "$photos/a_random.bmp" >/dev/null
"$bin/canopysim" --size 500 --lai 3 --clumped --seed 2 --truth /dev/null "$photos/b_crowns.bmp" >/dev/null
"$bin/canopysim" --size 500 --lai 1 --lens orthographic --seed 3 --truth /dev/null \
    "$photos/c_open.bmp" >/dev/null
printf 'BM not a photograph' > "$photos/d_<b>&broken.bmp"
cat > "$photos/m.csv" <<CSV
photo,circle,lens
a_random.bmp,"250,250,249",
b_crowns.bmp,"250,250,249",
c_open.bmp,"250,250,249",orthographic
d_<b>&broken.bmp,"250,250,249",
e_assumed.bmp,,
CSV
cp "$photos/a_random.bmp" "$photos/e_assumed.bmp"
"$bin/gapbatch" --quiet --jobs 2 --manifest "$photos/m.csv" --site 46.5,7.5 --days 80-355 \
    --day-step 5 --out "$photos" --report "$out" > "$photos/summary.csv" 2>/dev/null || true
test -s "$out/index.html"
