#!/bin/sh
# Analyse a folder of photographs in shards with GNU parallel, then merge the shards' summaries.
#
#   examples/gapbatch_parallel.sh PHOTOS OUT [SHARDS [GAPBATCH_OPTIONS...]]
#
# On one machine each shard runs single-threaded and parallel keeps every core busy. Across
# machines, add --sshlogin host1,host2 (or -S) to the parallel line and give every machine the
# same paths (a shared folder): each shard then runs where parallel sends it, with all the
# cores of that machine (drop --jobs 1). The merged summary is the one a single gapbatch run
# over the whole folder writes, row for row. A shard whose photographs partly fail still writes
# its whole summary.
set -eu
photos=$1
out=$2
shards=${3:-$(nproc)}
shift 2
[ $# -gt 0 ] && shift
mkdir -p "$out"
seq 1 "$shards" | parallel \
    gapbatch --quiet --jobs 1 --out "$out" --shard "{}/$shards" "$@" "$photos" \
    ">" "$out/shard-{}.csv" || true
gapbatch --merge --summary "$out/summary.csv" "$out"/shard-*.csv
rm -f "$out"/shard-*.csv
