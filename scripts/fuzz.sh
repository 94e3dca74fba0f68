#!/usr/bin/env bash
# Builds the fuzz preset (clang-14, libFuzzer, ASan + UBSan) and runs each fuzz target for SECONDS
# on its own working corpus, seeded from fuzz/corpus/<target>/. Exits non-zero when any target
# finds a crash, a sanitizer report, a broken invariant, a leak or a timeout.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default: 20 seconds, every target)
# Per target, under build/fuzz/: corpus/<target>/ (grows across runs), crashes/<target>/ (the
# inputs that failed) and logs/<target>.log. Reproduce a failure by running the target on the
# saved input: build/fuzz/fuzz/<target>_fuzz build/fuzz/crashes/<target>/crash-…
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
[ $# -gt 0 ] && shift
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name%_fuzz}")
  done
fi
for t in "${targets[@]}"; do
  if [ ! -f "fuzz/${t}_fuzz.cpp" ]; then
    echo "fuzz.sh: no target '$t' (fuzz/${t}_fuzz.cpp)" >&2
    exit 2
  fi
done

# The build's packages, and Debian's clang with its sanitizer and libFuzzer runtimes.
scripts/install-deps.sh
scripts/install-deps.sh clang-14 libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz
mkdir -p "$out/logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  crashes="$out/crashes/$t"
  mkdir -p "$corpus" "$crashes"
  cp -n fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 -print_final_stats=1
    -artifact_prefix="$crashes/")
  case $t in
    json_document | map_list | remote_config | categories) args+=(-dict=fuzz/json.dict) ;;
    profile) args+=(-dict=fuzz/ini.dict) ;;
  esac
  echo "== $t: ${seconds}s"
  if "$out/fuzz/${t}_fuzz" "${args[@]}" "$corpus" >"$out/logs/$t.log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
      "$out/logs/$t.log" || true
  else
    failed+=("$t")
    tail -n 60 "$out/logs/$t.log"
    echo "== $t FAILED: input saved in $crashes/, log in $out/logs/$t.log"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: failures in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: ${#targets[@]} target(s), no failures"
