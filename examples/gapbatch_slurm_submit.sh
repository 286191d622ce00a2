#!/bin/sh
# Submits the job array of examples/gapbatch_slurm.sh and the merge that waits for it.
#
#   examples/gapbatch_slurm_submit.sh SHARDS PHOTOS OUT [GAPBATCH_OPTIONS...]
#
# Prints the merge job's id.
set -eu
shards=$1
photos=$2
out=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
array=$(sbatch --parsable --array="1-$shards" --output="$out/shard-%a.log" \
    "$here/gapbatch_slurm.sh" "$photos" "$out" "$@")
files=""
for k in $(seq 1 "$shards"); do files="$files '$out/shard-$k.csv'"; done
sbatch --parsable --dependency="afterany:$array" --job-name=gapbatch-merge \
    --output="$out/merge.log" --wrap "gapbatch --merge --summary '$out/summary.csv'$files"
