#!/usr/bin/env bash
# The unit, integration and window suites as Windows programs under Wine (Debian's wine64; the
# window tests on Qt's offscreen platform), against the native brindle-sim on loopback, then
# brindle-cli.exe's own commands the same way, then brindle.exe from the Windows zip on a virtual
# X server (scripts/test-windows-window.sh). CI runs it after the native suites (.ci/run) and it
# reuses their brindle-sim.
#   scripts/test-windows.sh               build and pack (scripts/package-windows.sh), run everything
#   scripts/test-windows.sh -R Name       only the ctest tests matching (ctest's arguments), then
#                                         the brindle-cli.exe check and the window run
#   BRINDLE_WINDOWS_CLI_CHECK=0           leave the brindle-cli.exe check out
#   BRINDLE_WINDOWS_WINDOW_RUN=0          leave the run of brindle.exe from the zip out
#   BRINDLE_WINDOWS_TEST_TIMEOUT=S        seconds one test program may run (default 300)
#   BRINDLE_WINDOWS_TIMEOUT=S             seconds all the test programs together may run (2400)
#   BRINDLE_WINDOWS_LOAD_SECONDS=S        how long the load test runs under Wine (20)
#
# Test cases that still fail under Wine are listed in tests/windows-known-failures.txt with their
# reasons; they are left out of every Windows test program (a negative GTEST_FILTER, which Wine
# hands to the programs) and counted at the end, so the list stays honest and visible.
#
# brindle-sim stays a Linux program: the tests start it through /bin/sh (Wine starts native
# programs but gives no handle for them), so every test folder lives under one native folder
# (BRINDLE_TEST_TMP) that both sides name, /tmp/x being Z:\tmp\x. The sims record their process
# ids there and are ended at the end whatever became of the test that started them.
#
# The extractor is 7-Zip's own Windows build (scripts/build-windows-7zip.sh), as the zip ships it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
started=$(date +%s)

# The native brindle-sim: the one the native suites built (brought up to date), else a small
# release build of it alone.
sim=${BRINDLE_SIM:-}
if [ -z "$sim" ]; then
  for preset in asan tsan debug; do
    if [ -f "build/$preset/build.ninja" ]; then
      nice -n 5 cmake --build "build/$preset" --target brindle-sim >/dev/null
      sim=$root/build/$preset/sim/brindle-sim
      break
    fi
  done
fi
if [ -z "$sim" ]; then
  cmake -S . -B build/windows-sim -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BUILD_TESTS=OFF \
    -DBRINDLE_BUILD_BENCH=OFF -DBRINDLE_BUILD_UI=OFF >/dev/null
  nice -n 5 cmake --build build/windows-sim --target brindle-sim >/dev/null
  sim=$root/build/windows-sim/sim/brindle-sim
fi
[ -x "$sim" ] || { echo "test-windows: no brindle-sim at $sim" >&2; exit 1; }

BRINDLE_BUILD_TESTS=ON scripts/package-windows.sh >/dev/null

export WINEPREFIX=$root/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export BRINDLE_SIM=$sim
# The window tests load Qt's DLLs from where they were built, and the compiler's run-time DLLs that
# Qt's plugins load.
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH
WINEPATH=$(for dir in "$root/build/windows-deps/qt/bin" "$gcc_dlls" /usr/x86_64-w64-mingw32/lib; do
  printf 'Z:%s;' "$dir" | tr / '\\'; done)
export BRINDLE_TEST_TMP
BRINDLE_TEST_TMP=$(mktemp -d /tmp/brindle-wine.XXXXXX)
# Qt's offscreen platform on Windows reads its fonts from one folder, and only files named .ttf,
# .otf, .pfa or .pfb (it opens collections all the same): the Noto CJK collections the window
# uses on Linux, under .ttf names. Wine hands no QT_ variable on, so the tests take it as
# BRINDLE_QT_QPA_FONTDIR.
mkdir -p "$BRINDLE_TEST_TMP/fonts"
for font in /usr/share/fonts/opentype/noto/NotoSansCJK-*.ttc; do
  ln -s "$font" "$BRINDLE_TEST_TMP/fonts/$(basename "$font" .ttc).ttf"
done
export BRINDLE_QT_QPA_FONTDIR
BRINDLE_QT_QPA_FONTDIR=$(printf 'Z:%s' "$BRINDLE_TEST_TMP/fonts" | tr / '\\')

cleanup() {
  # Sims whose test ended without stopping them (a crash, a ctest time-out): by their ids, and
  # only while the id still names one of ours.
  if [ -f "$BRINDLE_TEST_TMP/sim-pids" ]; then
    for pid in $(cat "$BRINDLE_TEST_TMP/sim-pids"); do
      if grep -qa -e brindle-sim "/proc/$pid/cmdline" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
    done
  fi
  if [ -n "${cli_sim:-}" ]; then kill "$cli_sim" 2>/dev/null || true; fi
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$BRINDLE_TEST_TMP"
}
trap cleanup EXIT

# The prefix is made at its first use (a few seconds); one server for the whole run.
timeout 120 "$wine" cmd /c exit 0 >/dev/null 2>&1 || true
"$wineserver" -p 2>/dev/null || true

# The known failures as one negative filter: "Suite.Case" or "Suite.*" a line, "#" comments.
known=tests/windows-known-failures.txt
patterns=()
if [ -f "$known" ]; then
  while IFS= read -r line; do
    line=${line%%#*}
    line=$(tr -d '[:space:]' <<<"$line")
    [ -n "$line" ] && patterns+=("$line")
  done <"$known"
fi
if [ ${#patterns[@]} -gt 0 ]; then
  export GTEST_FILTER
  GTEST_FILTER=-$(IFS=:; echo "${patterns[*]}")
fi
# Each program writes its results for the count below.
mkdir -p "$BRINDLE_TEST_TMP/results"
export GTEST_OUTPUT
GTEST_OUTPUT="xml:Z:$(echo "$BRINDLE_TEST_TMP/results/" | tr / '\\')"

# ctest ends a program that runs too long and its children; the outer time-out ends ctest itself
# should anything still hold it (the Wine processes go with the wineserver at the end).
status=0
export BRINDLE_LOAD_SECONDS=${BRINDLE_WINDOWS_LOAD_SECONDS:-20}  # the load test, shorter here
timeout --kill-after=30 "${BRINDLE_WINDOWS_TIMEOUT:-2400}" \
  ctest --test-dir build/windows --output-on-failure -j 2 --timeout "${BRINDLE_WINDOWS_TEST_TIMEOUT:-300}" \
  "$@" || status=1

# Cases run and skipped (marked for the other system, or for a shortfall of Wine), from the
# programs' results; the cases left out, by listing them in the programs that name one of the
# listed suites. (grep finding nothing is a count of 0, not a failure of the run.)
count() { cat "$BRINDLE_TEST_TMP"/results/*.xml 2>/dev/null | { grep -o "$1" || true; } | wc -l; }
ran=$(count '<testcase [^>]*status="run"')
skipped=$(count '<testcase [^>]*result="skipped"')
excluded=0
if [ ${#patterns[@]} -gt 0 ]; then
  suites=$(printf '%s\n' "${patterns[@]}" | sed 's/\..*//' | sort -u)
  for exe in build/windows/tests/*_test.exe; do
    grep -aqF -f <(echo "$suites") "$exe" || continue
    n=$(GTEST_FILTER=$(IFS=:; echo "${patterns[*]}") GTEST_OUTPUT= timeout 60 "$wine" "$exe" \
      --gtest_list_tests 2>/dev/null | grep -c '^  ' || true)
    excluded=$((excluded + ${n:-0}))
  done
fi
echo "test-windows: $ran test cases ran ($skipped of them skipped: marked POSIX only or not" \
  "under Wine), $excluded left out as known failures under Wine (${#patterns[@]} entries in $known)"

# ---- brindle-cli.exe against brindle-sim, with the program and the game on Windows paths ----
cli_check() {
  local work=$BRINDLE_TEST_TMP/cli
  mkdir -p "$work/data"
  "$sim" --data "$work/data" --addr-file "$work/addr.txt" --endpoints "$work/endpoints.ini" \
    --cert-file "$work/ca.pem" --a2s 2 --a2s-file "$work/a2s.txt" >"$work/sim.out" 2>"$work/sim.err" &
  cli_sim=$!
  for _ in $(seq 1 300); do
    grep -q '^ready$' "$work/sim.out" 2>/dev/null && break
    kill -0 "$cli_sim" 2>/dev/null || break
    sleep 0.1
  done
  grep -q '^ready$' "$work/sim.out" || { echo "brindle-sim did not start: $(cat "$work/sim.err")"; return 1; }
  # The certificate by the name the Windows program opens it under.
  sed -i 's|^ca_file=/\(.*\)$|ca_file=Z:\\\1|; /^ca_file=/ y|/|\\|' "$work/endpoints.ini"
  # curl's Schannel matches no IP-address names in a certificate; the sim's also names localhost.
  sed -i 's|https://127.0.0.1:|https://localhost:|g' "$work/endpoints.ini"

  # The program folder and the game on the Windows drive C: (inside the prefix).
  local drive_c=$WINEPREFIX/drive_c
  rm -rf "$drive_c/brindle-check" "$drive_c/games/csgo"
  mkdir -p "$drive_c/brindle-check/qdata/7zip" "$drive_c/games/csgo/csgo/maps"
  cp build/windows-deps/7zip/q_unbz2.exe build/windows-deps/7zip/7z.dll "$drive_c/brindle-check/qdata/7zip/"
  echo 730 >"$drive_c/games/csgo/steam_appid.txt"
  echo official >"$drive_c/games/csgo/csgo/maps/de_dust2.bsp"

  local cli=build/windows/src/brindle-cli.exe
  local endpoints
  endpoints="Z:$(echo "$work/endpoints.ini" | tr / '\\')"
  local failures=0
  run() {  # run NAME EXPECTED-TEXT ARGS...: exit status 0 and EXPECTED-TEXT in the output
    local name=$1 expect=$2
    shift 2
    local out
    if out=$(timeout 120 "$wine" "$cli" --program-dir 'C:\brindle-check' --endpoints "$endpoints" "$@" 2>&1) &&
       grep -qF -- "$expect" <<<"$out"; then
      echo "ok      brindle-cli.exe $name"
    else
      echo "FAILED  brindle-cli.exe $name: $*"
      sed 's/^/        /' <<<"$out" | head -20
      failures=$((failures + 1))
    fi
  }
  local server other
  server=$(sed -n 1p "$work/a2s.txt")
  other=$(sed -n 2p "$work/a2s.txt")
  run servers '"address"' --json servers
  run query 'Brindle Test Server #0' query "$server"
  run players 'player0' players "$server"
  run "favourites add" '' favourites add "$other"
  run "favourites list" "$other" favourites list
  run "favourites remove" '' favourites remove "$other"
  run game '"C:\\games\\csgo\\"' --json game csgo 'C:\games\csgo'
  run "maps check" '"status"' --json maps check 35hp --into-game
  run "maps download --into-game" '"installed"' --json maps download --into-game --url \
    "$(sed -n 's/^http=//p' "$work/addr.txt")/maps/awp_india.bsp.bz2"
  run "maps download --into-game GROUP" 'installed' maps download --into-game 35hp
  local map
  for map in awp_india 35hp_2 35hp_lego 35hp_iceworld; do
    if [ -s "$drive_c/games/csgo/csgo/maps/$map.bsp" ]; then
      echo "ok      C:\\games\\csgo\\csgo\\maps\\$map.bsp installed"
    else
      echo "FAILED  C:\\games\\csgo\\csgo\\maps\\$map.bsp is missing"
      failures=$((failures + 1))
    fi
  done
  if [ "$(stat -c %s "$drive_c/games/csgo/csgo/maps/awp_india.bsp" 2>/dev/null)" != 67344 ]; then
    echo "FAILED  awp_india.bsp does not have the mirror's size"
    failures=$((failures + 1))
  fi
  if ls -a "$drive_c/games/csgo/csgo/maps" | grep -q '^\.q_unbz2-'; then
    echo "FAILED  a staging folder was left in the maps folder"
    failures=$((failures + 1))
  fi
  kill "$cli_sim" 2>/dev/null || true
  wait "$cli_sim" 2>/dev/null || true
  cli_sim=
  if [ "$failures" -ne 0 ]; then
    echo "brindle-sim's standard error in this check:"
    sed 's/^/        /' "$work/sim.err" | tail -20
  fi
  [ "$failures" -eq 0 ]
}
if [ "${BRINDLE_WINDOWS_CLI_CHECK:-1}" != 0 ]; then
  cli_check || status=1
fi
if [ "${BRINDLE_WINDOWS_WINDOW_RUN:-1}" != 0 ]; then
  scripts/test-windows-window.sh || status=1
fi

echo "test-windows: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(($(date +%s) - started)) s"
exit $status
