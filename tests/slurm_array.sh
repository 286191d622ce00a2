#!/bin/sh
# The Slurm job array of the README (examples/gapbatch_slurm_submit.sh) for real, on a one-node
# cluster started here: munge and a slurmctld and slurmd with a configuration of their own in a
# scratch folder. 24 photographs in 3 array tasks and the merge job after them; the merged
# summary must be the summary of one gapbatch run. Needs root and Debian's slurm-wlm and munge;
# skipped (77) without them.
#
#   tests/slurm_array.sh BIN_DIR EXAMPLES_DIR
set -eu
bin=$(cd "$1" && pwd)
examples=$(cd "$2" && pwd)
for tool in munged slurmctld slurmd sbatch squeue sinfo; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "starting slurmd needs root"; exit 77; }
dir=$(mktemp -d /tmp/skygap-slurm.XXXXXX)
host=$(hostname)
cleanup() {
    for pid in slurmd slurmctld; do
        [ -f "$dir/$pid.pid" ] && kill "$(cat "$dir/$pid.pid")" 2>/dev/null || true
    done
    sleep 1
    rm -rf "$dir"
}
trap cleanup EXIT
mkdir -p "$dir/spool" "$dir/state"
cat > "$dir/slurm.conf" <<CONF
ClusterName=skygaptest
SlurmctldHost=$host
AuthType=auth/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
SlurmUser=root
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmdSpoolDir=$dir/spool
StateSaveLocation=$dir/state
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
SlurmctldPort=6917
SlurmdPort=6918
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$dir/slurm.conf"
if [ ! -S /run/munge/munge.socket.2 ]; then
    mkdir -p /run/munge /var/log/munge
    chmod 700 /run/munge
    munged --force
fi
slurmctld
slurmd
for k in $(seq 1 30); do
    sinfo -h -o %t 2>/dev/null | grep -q idle && break
    sleep 1
done
sinfo -h -o %t | grep -q idle || { echo "the one-node cluster did not come up"; cat "$dir"/*.log; exit 1; }

cd "$dir"
mkdir photos
for k in $(seq 1 24); do
    "$bin/canopysim" --size 96 --lai 2 --seed "$k" --truth /dev/null "photos/p$(printf %02d "$k").bmp"
done
export PATH="$bin:$PATH"
merge=$(sh "$examples/gapbatch_slurm_submit.sh" 3 "$dir/photos" "$dir/out" --threshold 128 \
    --circle 48,48,47)
for k in $(seq 1 120); do
    [ -z "$(squeue -h -j "$merge" 2>/dev/null)" ] && [ -f "$dir/out/summary.csv" ] && break
    sleep 1
done
gapbatch --quiet --out single --threshold 128 --circle 48,48,47 "$dir/photos" > single.csv
cmp single.csv "$dir/out/summary.csv"
echo "Slurm array of 3 tasks and its merge equal the single run ($(wc -l < single.csv) lines)"
