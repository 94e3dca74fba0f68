#!/usr/bin/env bash
# The live query: `brindle-cli query` of N fake game servers on loopback (brindle-sim, every 2nd
# answering with a challenge first), the whole process, against gamedig 5.3.3 (npm, installed
# here into the work folder) asking the same servers for their information alone, all at once in
# one node process, timed in-process (module loaded, before the first query to the last answer).
# For each N: both times, the ratio, and ours per server, so a step between sizes shows.
#   bench/query_bench.sh [BUILD_DIR] [N...]
# BUILD_DIR defaults to build/release, N to 100 300 500 1000 5000; configured with
#   cmake --preset release
#   cmake --build --preset release --target brindle-cli brindle-sim
# Needs node and npm (the reference), hyperfine. Aim: 500 servers in 25 ms, 5,000 in 150 ms.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
shift || true
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(100 300 500 1000 5000)
sim=$build/sim/brindle-sim
cli=$build/src/brindle-cli
source "$root/bench/bench_lib.sh"
bench_require "$sim" "$cli"
command -v npm >/dev/null || { echo "npm is needed for the reference (gamedig)" >&2; exit 2; }

bench_workdir
mkdir -p "$work/program" "$work/gamedig"
# Every service on a closed loopback port: the start-up workers a CLI command runs beside its
# own work end at once and nothing outside the machine is asked.
cat >"$work/endpoints" <<'INI'
[endpoints]
software=http://127.0.0.1:9/software
server_list=http://127.0.0.1:9/serverlist
favourites=http://127.0.0.1:9/favourites
forum=http://127.0.0.1:9/forum
user_info=http://127.0.0.1:9/cloud
mirror_us1=127.0.0.1:9
mirror_us2=127.0.0.1:9
mirror_telecom=127.0.0.1:9
mirror_primary_host=127.0.0.1:9
INI
(cd "$work/gamedig" && npm install --silent --no-audit --no-fund --no-save gamedig@5.3.3 \
  >/dev/null) || { echo "npm could not install gamedig@5.3.3" >&2; exit 2; }

# The reference: every server asked at once, info only, given ports only, timed from before the
# first query to the last answer; prints that time in ms and how many answered. One round per
# node process: gamedig run round after round in one process loses answers.
cat >"$work/gamedig/query.mjs" <<'JS'
import { readFileSync } from 'node:fs';
import { GameDig } from 'gamedig';
const addresses = readFileSync(process.argv[2], 'utf8').trim().split('\n');
const start = process.hrtime.bigint();
const results = await Promise.allSettled(addresses.map((a) => {
  const [host, port] = a.split(':');
  return GameDig.query({ type: 'csgo', host, port: Number(port), givenPortOnly: true,
                         requestPlayers: false, requestRules: false, maxRetries: 0,
                         socketTimeout: 2000, attemptTimeout: 4000 });
}));
const ms = Number(process.hrtime.bigint() - start) / 1e6;
const answered = results.filter((r) => r.status === 'fulfilled').length;
console.log(`${ms.toFixed(2)} ${answered}`);
JS
# gamedig_median N: the median of the rounds' times (after one warm-up round) and the fewest
# servers that answered in a round.
gamedig_median() {
  local n=$1
  (cd "$work/gamedig" && node query.mjs "$work/a2s-$n" >/dev/null)
  for _ in $(seq 1 "${RUNS:-20}"); do
    (cd "$work/gamedig" && node query.mjs "$work/a2s-$n")
  done | python3 -c '
import sys
rows = [line.split() for line in sys.stdin if line.strip()]
times = sorted(float(r[0]) for r in rows)
print(f"{times[len(times) // 2]:.2f} {min(int(r[1]) for r in rows)}")'
}

printf '%-8s %14s %14s %8s %16s\n' servers "brindle-cli ms" "gamedig ms" ratio "ours ms/server"
for n in "${sizes[@]}"; do
  bench_start_sim "$sim" --a2s "$n" --a2s-challenge-every 2 --a2s-file "$work/a2s-$n"
  for _ in $(seq 1 100); do [[ -s $work/a2s-$n ]] && break; sleep 0.1; done
  mapfile -t addresses <"$work/a2s-$n"
  run_ours=("$cli" --program-dir "$work/program" --endpoints "$work/endpoints" query
            "${addresses[@]}")
  # One sanity pass: every server must answer.
  "${run_ours[@]}" >/dev/null || { echo "brindle-cli query missed servers at $n" >&2; exit 1; }
  hyperfine --style none --warmup 3 --runs "${RUNS:-20}" --export-json "$work/ours-$n.json" \
    -N "${run_ours[*]}" >/dev/null
  read -r ref_ms ref_answered < <(gamedig_median "$n")
  [[ $ref_answered == "$n" ]] || echo "gamedig: $ref_answered of $n answered" >&2
  python3 - "$work/ours-$n.json" "$n" "$ref_ms" <<'PY'
import json, sys
ours = json.load(open(sys.argv[1]))["results"][0]["median"] * 1000.0
n, ref = int(sys.argv[2]), float(sys.argv[3])
print(f"{n:<8} {ours:14.1f} {ref:14.1f} {ours / ref:8.3f} {ours / n:16.4f}")
PY
  kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  sim_pid=
done
echo "ratio = brindle-cli query (whole process, median) / gamedig (in-process, median)"
