#!/bin/sh
# The GNU parallel recipe of the README (examples/gapbatch_parallel.sh) on 40 generated
# photographs in 4 shards: its merged summary must be the summary of one gapbatch run, byte for
# byte. Skipped (77) where GNU parallel is not installed.
#
#   tests/parallel_recipe.sh BIN_DIR EXAMPLES_DIR
set -eu
bin=$(cd "$1" && pwd)
examples=$(cd "$2" && pwd)
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }
dir=$(mktemp -d /tmp/skygap-parallel.XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir photos
for k in $(seq 1 40); do
    "$bin/canopysim" --size 96 --lai 2 --seed "$k" --truth /dev/null "photos/p$(printf %02d "$k").bmp"
done
printf 'BM broken\n' > photos/p41.bmp   # one photograph that fails, in shard 1
export PATH="$bin:$PATH"
sh "$examples/gapbatch_parallel.sh" photos sharded 4 --threshold 128 --rings 6 --sectors 8 \
    --circle 48,48,47
status=0
gapbatch --quiet --out single --threshold 128 --rings 6 --sectors 8 --circle 48,48,47 photos \
    > single.csv || status=$?
[ "$status" -eq 1 ]
cmp single.csv sharded/summary.csv
cmp single/p17.gapfract.txt sharded/p17.gapfract.txt
echo "merged summary of 4 shards equals the single run ($(wc -l < single.csv) lines)"
