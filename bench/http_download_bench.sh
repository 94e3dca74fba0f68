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
source "$root/bench/bench_lib.sh"
bench_require "$sim" "$driver"

bench_workdir

bench_start_sim "$sim"
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
