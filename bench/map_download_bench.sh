#!/usr/bin/env bash
# The map download queue from brindle-sim's mirror, each against curl in the same hyperfine run:
#   1. one 512 MiB map through the whole queue (`brindle-cli maps download --url`: start-up, the
#      queue, the .tmp file through the mapped store, the move) against `curl -s -o`
#      (aim: at most 1.05 x curl);
#   2. 50 small maps (64 KiB) through the queue against curl fetching the same 50 URLs in one
#      process; the cost of a task beyond its transfer is the difference of the per-map slopes,
#      (50 maps - 1 map) / 49 for each tool, from the medians (aim: at most 50 ms).
#   bench/map_download_bench.sh [BUILD_DIR] [MIB]
# BUILD_DIR defaults to build/release, configured with
#   cmake --preset release
#   cmake --build --preset release --target brindle-sim brindle-cli
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
mib=${2:-512}
sim=$build/sim/brindle-sim
cli=$build/src/brindle-cli
source "$root/bench/bench_lib.sh"
bench_require "$sim" "$cli"

bench_workdir

mkdir -p "$work/data" "$work/program/qdata/7zip" "$work/curl"
ln -s "$(command -v 7zz)" "$work/program/qdata/7zip/q_unbz2"
bench_start_sim "$sim" --endpoints "$work/endpoints.ini"
# The maps come by URL; the services the start-up asks (remote configuration, login) sit on a
# closed port, so the CLI's start is short and steady and the queue's own cost shows.
printf '[endpoints]\nsoftware=http://127.0.0.1:1/software\nforum=http://127.0.0.1:1/forum\n' \
  >"$work/closed.ini"
cli_run="$cli --program-dir $work/program --endpoints $work/closed.ini maps download --url"

# ---- 1. One big map ------------------------------------------------------------------------------
big="$base/maps/gen/$((mib * 1048576))/bench_big.bsp"
curl -s -o "$work/curl/bench_big.bsp" "$big"
$cli_run "$big" >/dev/null 2>&1
cmp -s "$work/curl/bench_big.bsp" "$work/program/download/data/bench_big.bsp" ||
  { echo "downloads differ" >&2; exit 1; }
hyperfine --style basic --warmup 1 --runs "${RUNS:-7}" --export-json "$work/big.json" \
  -n curl "curl -s -o $work/curl/bench_big.bsp '$big'" \
  -n brindle-cli "$cli_run '$big'"
rm -f "$work/curl/bench_big.bsp"

# ---- 2. Fifty small maps -------------------------------------------------------------------------
urls=()
curl_args=()
for i in $(seq 1 50); do
  urls+=("$base/maps/gen/65536/bench_small_$i.bsp")
  curl_args+=(-o "$work/curl/small_$i.bsp" "$base/maps/gen/65536/bench_small_$i.bsp")
done
hyperfine --style basic --warmup 2 --runs "${RUNS_SMALL:-10}" --export-json "$work/small.json" \
  -n curl_1 "curl -s ${curl_args[*]:0:3}" \
  -n curl_50 "curl -s ${curl_args[*]}" \
  -n cli_1 "$cli_run ${urls[0]}" \
  -n cli_50 "$cli_run ${urls[*]}"

python3 - "$work/big.json" "$work/small.json" "$mib" <<'PY'
import json, sys
big = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
small = {r["command"]: r for r in json.load(open(sys.argv[2]))["results"]}
curl, ours = big["curl"], big["brindle-cli"]
size = f"{sys.argv[3]} MiB"
print(f"{size} curl        median {curl['median']:.3f} s  mean {curl['mean']:.3f} s")
print(f"{size} brindle-cli median {ours['median']:.3f} s  mean {ours['mean']:.3f} s")
print(f"{size} ratio (brindle-cli / curl): median {ours['median'] / curl['median']:.3f}  "
      f"mean {ours['mean'] / curl['mean']:.3f}")
slope = lambda one, fifty: (small[fifty]["median"] - small[one]["median"]) / 49
ours_per, curl_per = slope("cli_1", "cli_50"), slope("curl_1", "curl_50")
print(f"50 maps  per map: brindle-cli {ours_per * 1000:.1f} ms, curl {curl_per * 1000:.1f} ms; "
      f"overhead per task {(ours_per - curl_per) * 1000:.1f} ms")
PY
