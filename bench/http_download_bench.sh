#!/usr/bin/env bash
# Download of a 512 MiB file from brindle-sim: http_download_file against `curl -s -o`, timed in
# the same hyperfine run. Prints both times and the ratio ours / curl (aim: at most 1.1).
#   bench/http_download_bench.sh [BUILD_DIR] [MIB]
# BUILD_DIR defaults to build/release, configured with
#   cmake --preset release
#   cmake --build --preset release --target brindle-sim http_download_main
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
mib=${2:-512}
sim=$build/sim/brindle-sim
driver=$build/bench/http_download_main
for program in "$sim" "$driver"; do
  [[ -x $program ]] || { echo "missing $program (build it first)" >&2; exit 2; }
done

work=$(mktemp -d)
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/data"
"$sim" --data "$work/data" --addr-file "$work/addr" --cert-file "$work/ca.pem" \
  >"$work/ready" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 1 300); do
  grep -q ready "$work/ready" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.log" >&2; exit 1; }
  sleep 0.1
done
grep -q ready "$work/ready" || { echo "brindle-sim did not start" >&2; exit 1; }
base=$(sed -n 's/^http=//p' "$work/addr")
url="$base/test/file?mib=$mib"

# One sanity pass: both tools must fetch the same bytes.
curl -s -o "$work/curl.bin" "$url"
"$driver" "$url" "$work/ours.bin"
cmp -s "$work/curl.bin" "$work/ours.bin" || { echo "downloads differ" >&2; exit 1; }

hyperfine --style basic --warmup 1 --runs "${RUNS:-7}" --export-json "$work/times.json" \
  -n curl "curl -s -o $work/curl.bin '$url'" \
  -n http_download_file "$driver '$url' $work/ours.bin"

python3 - "$work/times.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
curl, ours = results["curl"], results["http_download_file"]
print(f"curl               mean {curl['mean']:.3f} s  median {curl['median']:.3f} s")
print(f"http_download_file mean {ours['mean']:.3f} s  median {ours['median']:.3f} s")
print(f"ratio (ours / curl): mean {ours['mean'] / curl['mean']:.3f}  "
      f"median {ours['median'] / curl['median']:.3f}")
PY
