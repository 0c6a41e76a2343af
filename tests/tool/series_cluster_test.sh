#!/usr/bin/env bash
# A single-node SLURM cluster on this machine (munged, slurmctld, slurmd on localhost, configured in a temporary
# folder): quorax-series submits a series of the bundled example as a job array, and every frame's lines file must
# equal the one the local mode writes with the same seed.
#   series_cluster_test.sh QUORAX_SERIES EXAMPLES_DIR
# Exit status 77 (skipped) when slurm-wlm or munge is not installed or the test does not run as root.
set -euo pipefail
series=$1
examples=$2
export PATH="$PATH:/usr/sbin:/sbin"

skip() {
  echo "SKIPPED: $*"
  exit 77
}
for program in munged slurmctld slurmd sbatch squeue sinfo; do
  command -v "$program" >/dev/null || skip "$program not found: install the Debian packages slurm-wlm and munge"
done
[[ $(id -u) -eq 0 ]] || skip "slurmd must run as root to start jobs"

work=$(mktemp -d /tmp/quorax-slurm.XXXXXX)
chmod 755 "$work" # munged wants its socket folder reachable by all
daemons=()
cleanup() {
  local status=$?
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do
    local alive=0
    for pid in "${daemons[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    ((alive)) || break
    sleep 0.1
  done
  for pid in "${daemons[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if ((status != 0 && status != 77)); then
    for log in "$work"/log/* "$work"/run/slurm-*.out; do
      [[ -f $log ]] && { echo "--- $log"; tail -n 30 "$log"; }
    done
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Two free TCP ports for slurmctld and slurmd.
ports=()
for ((p = 20000 + $$ % 20000; ${#ports[@]} < 2; p++)); do
  (echo >/dev/tcp/127.0.0.1/$p) 2>/dev/null || ports+=("$p")
done

mkdir -p "$work/state" "$work/spool" "$work/log" "$work/run"
head -c 1024 /dev/urandom >"$work/munge.key"
chmod 400 "$work/munge.key"
host=$(hostname)
cat >"$work/slurm.conf" <<EOF
ClusterName=quoraxtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=${ports[0]}
SlurmdPort=${ports[1]}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge.sock
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
NodeName=qnode NodeAddr=127.0.0.1 NodeHostname=$host CPUs=2 State=UNKNOWN
PartitionName=q Nodes=qnode Default=YES MaxTime=INFINITE State=UP
EOF
: >"$work/cgroup.conf"
export SLURM_CONF="$work/slurm.conf"

# Every daemon runs in the foreground as a child of this script, and dies by
# itself after two minutes should this script be killed before its cleanup.
timeout -s KILL 120 munged -F --socket="$work/munge.sock" --key-file="$work/munge.key" \
  --pid-file="$work/munged.pid" --seed-file="$work/munged.seed" --log-file="$work/log/munged.log" \
  >"$work/log/munged.out" 2>&1 &
daemons+=($!)
for _ in $(seq 50); do [[ -S $work/munge.sock ]] && break; sleep 0.1; done
[[ -S $work/munge.sock ]] || { echo "munged did not start"; exit 1; }
timeout -s KILL 120 slurmctld -D -i -f "$SLURM_CONF" >"$work/log/slurmctld.out" 2>&1 &
daemons+=($!)
timeout -s KILL 120 slurmd -D -N qnode -f "$SLURM_CONF" >"$work/log/slurmd.out" 2>&1 &
daemons+=($!)
state=
for _ in $(seq 150); do
  state=$(sinfo -h -n qnode -o %t 2>/dev/null || true)
  [[ $state == idle ]] && break
  sleep 0.2
done
[[ $state == idle ]] || { echo "the node did not come up (state \"$state\")"; exit 1; }

# Three frames of the bundled example.
cd "$work/run"
for i in 1 2 3; do
  ln -s "$examples/fas2.obj" "m$i.obj"
  ln -s "$examples/fas2.dx" "g$i.dx"
done
mkdir local cluster
args=('m{}.obj' 'g{}.dx' 0.01 0.0 45 1 3.0 --frames 1:3 --seed 7)
"$series" "${args[@]:0:2}" 'local/lines{:02}.txt' "${args[@]:2}" --jobs 2 >local.log
"$series" "${args[@]:0:2}" 'cluster/lines{:02}.txt' "${args[@]:2}" --slurm job.sh --per-task 2 --submit | tee submit.log
job=$(sed -n 's/^submitted job array \([0-9]*\).*/\1/p' submit.log)
[[ -n $job ]] || { echo "no job id in the output of --submit"; exit 1; }
grep -q '^#SBATCH --array=0-1$' job.sh || { echo "expected 2 array tasks in job.sh"; exit 1; }

for _ in $(seq 200); do
  [[ -z $(squeue -h -j "$job" 2>/dev/null) ]] && break
  sleep 0.2
done
[[ -z $(squeue -h -j "$job" 2>/dev/null) ]] || { echo "job array $job did not finish in 40 s"; exit 1; }

for i in 01 02 03; do
  [[ -f cluster/lines$i.txt ]] || { echo "frame $i: cluster/lines$i.txt missing"; exit 1; }
  cmp "local/lines$i.txt" "cluster/lines$i.txt" || { echo "frame $i differs between local and cluster"; exit 1; }
done
# Each task ran its own block of frames: 1-2 and 3.
grep -q 'summary: 2 frames: 2 done' slurm-"$job"_0.out
grep -q 'summary: 1 frame: 1 done' slurm-"$job"_1.out
echo "job array $job: 3 frames equal to the local run"
