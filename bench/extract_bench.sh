#!/usr/bin/env bash
# Extraction of a ~50 MB .bsp.bz2 (bzip2 -9 of a generated 50 MiB map from brindle-sim) through
# StartExtractor (the program folder's q_unbz2 = 7-Zip's 7zz, the exact command line, a child
# process waited for) against `bzip2 -dk` of the same file, in one hyperfine run. Prints both
# times and the ratio (about 2 x faster is the aim), and 7-Zip with -mmt=on and -mmt=2.
#   bench/extract_bench.sh [BUILD_DIR] [MIB]
# BUILD_DIR defaults to build/release, configured with
#   cmake --preset release
#   cmake --build --preset release --target brindle-sim extract_main
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
mib=${2:-50}
sim=$build/sim/brindle-sim
driver=$build/bench/extract_main
source "$root/bench/bench_lib.sh"
bench_require "$sim" "$driver"

bench_workdir

mkdir -p "$work/data" "$work/program/qdata/7zip" "$work/program/download/data" "$work/maps" \
  "$work/bzip2"
ln -s "$(command -v 7zz)" "$work/program/qdata/7zip/q_unbz2"
bench_start_sim "$sim"
archive=bench_extract.bsp.bz2
curl -s -o "$work/program/download/data/$archive" "$base/maps/genbz2/$((mib * 1048576))/$archive"
cp "$work/program/download/data/$archive" "$work/bzip2/$archive"
echo "archive: $(stat -c %s "$work/bzip2/$archive") bytes, $((mib * 1048576)) bytes unpacked"

# One sanity pass: both unpack the same bytes.
"$driver" "$work/program" "$archive" "$work/maps/"
bzip2 -dkf "$work/bzip2/$archive"
cmp -s "$work/maps/bench_extract.bsp" "$work/bzip2/bench_extract.bsp" ||
  { echo "extractions differ" >&2; exit 1; }

# Beside them, 7-Zip asked for its threads explicitly, on the program's own command line: whether
# a switch would let it decode on both cores.
seven="7zz x $work/program/download/data/$archive -o$work/maps/ -aoa"
hyperfine --style basic --warmup 1 --runs "${RUNS:-7}" --export-json "$work/times.json" \
  -n "bzip2 -dk" "bzip2 -dkf $work/bzip2/$archive" \
  -n StartExtractor "$driver $work/program $archive $work/maps/" \
  -n "7zz -mmt=on" "$seven -mmt=on" \
  -n "7zz -mmt=2" "$seven -mmt=2"

python3 - "$work/times.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ref, ours = results["bzip2 -dk"], results["StartExtractor"]
for name in ("bzip2 -dk", "StartExtractor", "7zz -mmt=on", "7zz -mmt=2"):
    r = results[name]
    print(f"{name:<15} median {r['median']:.3f} s  mean {r['mean']:.3f} s  "
          f"user {r['user']:.3f} s  system {r['system']:.3f} s  "
          f"speed-up against bzip2 {ref['median'] / r['median']:.2f}")
# On a busy machine the wall time follows the other load; the processor time does not.
print(f"processor time (StartExtractor / bzip2): "
      f"{(ours['user'] + ours['system']) / (ref['user'] + ref['system']):.2f}")
PY
