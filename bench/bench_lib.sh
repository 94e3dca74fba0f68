# Shared by the benchmark scripts (source it after `set -euo pipefail`): the programs' check, a
# work folder removed at exit, and brindle-sim started on it.

# bench_require PROGRAM...: exit 2 unless every program is built.
bench_require() {
  local program
  for program in "$@"; do
    [[ -x $program ]] || { echo "missing $program (build it first)" >&2; exit 2; }
  done
}

# bench_workdir: $work, a fresh folder that goes at exit together with the sim.
bench_workdir() {
  work=$(mktemp -d)
  sim_pid=
  trap bench_cleanup EXIT
}
bench_cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}

# bench_start_sim SIM [ARG...]: brindle-sim serving $work/data (its address file, certificate and
# log in $work), waited for until ready; $base is its plain HTTP address.
bench_start_sim() {
  local sim=$1
  shift
  mkdir -p "$work/data"
  "$sim" --data "$work/data" --addr-file "$work/addr" --cert-file "$work/ca.pem" "$@" \
    >"$work/ready" 2>"$work/sim.log" &
  sim_pid=$!
  for _ in $(seq 1 300); do
    grep -q ready "$work/ready" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.log" >&2; exit 1; }
    sleep 0.1
  done
  grep -q ready "$work/ready" || { echo "brindle-sim did not start" >&2; exit 1; }
  base=$(sed -n 's/^http=//p' "$work/addr")
}
