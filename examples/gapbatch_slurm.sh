#!/bin/bash
# A Slurm job array over a folder of photographs: one shard per array task, each on the cores
# Slurm gives it; the merge runs once every task has finished.
#
#   sbatch --array=1-8 examples/gapbatch_slurm.sh PHOTOS OUT [GAPBATCH_OPTIONS...]
#   sbatch --dependency=afterany:JOBID --wrap "gapbatch --merge --summary OUT/summary.csv OUT/shard-*.csv"
#
# (examples/gapbatch_slurm_submit.sh does both.) A task whose photographs partly fail still
# writes its whole summary (exit status 1): afterany, not afterok, lets the merge go on.
#SBATCH --job-name=gapbatch
#SBATCH --cpus-per-task=2
#SBATCH --output=gapbatch-%A-%a.log
set -eu
photos=$1
out=$2
shift 2
mkdir -p "$out"
shards=${SLURM_ARRAY_TASK_COUNT:?run me as a Slurm array job}
gapbatch --quiet --jobs "${SLURM_CPUS_PER_TASK:-1}" --out "$out" \
    --shard "$SLURM_ARRAY_TASK_ID/$shards" "$@" "$photos" > "$out/shard-$SLURM_ARRAY_TASK_ID.csv"
