#!/usr/bin/env bash
# The main job: installs what is needed, builds the program, prepares its folder (the extractor
# as qdata/7zip/q_unbz2), starts brindle-sim as the community on loopback and opens the window.
#   scripts/run.sh                  the window, against brindle-sim
#   BRINDLE_LIVE=1 scripts/run.sh   the window, against the community's own services
#   scripts/run.sh --exit-after-init   start, initialise, quit (a smoke run)
# Without a display the window runs under a virtual X server (xvfb-run) and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target brindle brindle-cli brindle-sim

program_dir=${BRINDLE_PROGRAM_DIR:-$root/build/program}
mkdir -p "$program_dir/qdata/7zip"
ln -sfn "$(command -v 7zz)" "$program_dir/qdata/7zip/q_unbz2"

args=(--program-dir "$program_dir")
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${BRINDLE_LIVE:-}" ]; then
  run_dir=$(mktemp -d)
  build/release/sim/brindle-sim --data "$root/data/sim" --addr-file "$run_dir/addr" \
    --endpoints "$run_dir/endpoints.ini" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$run_dir/endpoints.ini" ] && break; sleep 0.1; done
  args+=(--endpoints "$run_dir/endpoints.ini")
  echo "brindle-sim (the community on loopback) is serving; endpoints in $run_dir/endpoints.ini"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/release/src/brindle "${args[@]}" "$@"
else
  echo "No display found: running the window under a virtual X server (xvfb-run)."
  xvfb-run -a -s "-screen 0 1280x800x24" build/release/src/brindle "${args[@]}" "$@"
fi
