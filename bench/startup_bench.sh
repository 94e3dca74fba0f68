#!/usr/bin/env bash
# Start-up of the windowed program, offscreen: process start to an initialised, painted main
# window (`brindle --exit-after-init`: the core's start-up clock has fired), against a bare Qt
# window shown and closed the same way (`qt_hello`), in one hyperfine run. Prints both times, the
# ratio, and the peak memory of each. The program runs in a fresh program folder holding only the
# extractor it checks for, with every service on a closed loopback port, so the start-up workers
# end at once and nothing outside the machine is asked. A second reference, qt_hello_text, shows
# two Chinese captions (regular and bold, the program's font families) with libcurl initialised:
# the memory any window of this program needs before it has a widget of its own (the CJK font
# faces and the TLS library are most of it).
#   bench/startup_bench.sh [BUILD_DIR]
# BUILD_DIR defaults to build/release, configured with
#   cmake --preset release
#   cmake --build --preset release --target brindle qt_hello qt_hello_text
# Aim: under 300 ms and under 80 MB.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
ours=$build/src/brindle
reference=$build/bench/qt_hello
text_reference=$build/bench/qt_hello_text
for program in "$ours" "$reference" "$text_reference"; do
  [[ -x $program ]] || { echo "missing $program (build it first)" >&2; exit 2; }
done

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A program folder with its extractor, so start-up passes its component check.
mkdir -p "$work/program/qdata/7zip"
ln -s "$(command -v 7zz)" "$work/program/qdata/7zip/q_unbz2"
run_ours=("$ours" --program-dir "$work/program" --exit-after-init)

# One sanity pass each: both must come up and leave with status 0.
"${run_ours[@]}"
"$reference"
"$text_reference"

hyperfine --style basic --warmup 3 --runs "${RUNS:-20}" --export-json "$work/times.json" \
  -n qt_hello "$reference" \
  -n qt_hello_text "$text_reference" \
  -n brindle "${run_ours[*]}"

peak_kib() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p'
}
ref_kib=$(peak_kib "$reference")
text_kib=$(peak_kib "$text_reference")
ours_kib=$(peak_kib "${run_ours[@]}")

python3 - "$work/times.json" "$ref_kib" "$text_kib" "$ours_kib" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ref, text, ours = results["qt_hello"], results["qt_hello_text"], results["brindle"]
ref_kib, text_kib, ours_kib = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
ms = lambda s: s * 1000.0
for name, r, kib in (("qt_hello", ref, ref_kib), ("qt_hello_text", text, text_kib),
                     ("brindle", ours, ours_kib)):
    print(f"{name:<14} mean {ms(r['mean']):7.1f} ms  median {ms(r['median']):7.1f} ms  "
          f"peak RSS {kib / 1024:6.1f} MiB")
print(f"ratio (brindle / qt_hello): time {ours['mean'] / ref['mean']:.2f}  "
      f"memory {ours_kib / ref_kib:.2f}")
print(f"brindle beyond qt_hello_text: {(ours_kib - text_kib) / 1024:.1f} MiB")
PY
