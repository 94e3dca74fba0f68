#!/usr/bin/env bash
# brindle.exe from the unpacked Windows zip, under Wine on a virtual X server, against the native
# brindle-sim: the window comes up, the server page fills, the 刀战 map group check lists the maps
# the game lacks, and a download with 自动解压至游戏 installs them through the zip's own
# qdata\7zip\q_unbz2.exe. Driven with xdotool like a person would; pictures of each step are kept
# in build/windows/artifacts/window-run/. scripts/test-windows.sh runs it last.
#   scripts/test-windows-window.sh          (after scripts/package-windows.sh)
#   BRINDLE_SIM=PATH                        the native brindle-sim (default: the asan build's)
#   BRINDLE_WINDOWS_ZIP=FILE                the zip (default: the newest in build/windows/package)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh xvfb xdotool imagemagick fonts-noto-cjk wine64
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Only what the zip holds: no DLL folder of the build, Qt's own platform for Windows.
unset WINEPATH QT_QPA_PLATFORM QT_QPA_FONTDIR QT_PLUGIN_PATH
sim=${BRINDLE_SIM:-$root/build/asan/sim/brindle-sim}
zip=${BRINDLE_WINDOWS_ZIP:-$(find "$root/build/windows/package" -maxdepth 1 -name 'brindle-*-windows-x64.zip' 2>/dev/null | head -n 1)}
[ -x "$sim" ] || { echo "test-windows-window: no brindle-sim at $sim" >&2; exit 1; }
[ -f "$zip" ] || { echo "test-windows-window: no zip (scripts/package-windows.sh)" >&2; exit 1; }
shots=$root/build/windows/artifacts/window-run
rm -rf "$shots"
mkdir -p "$shots"

work=$(mktemp -d /tmp/brindle-window.XXXXXX)
sim_pid="" xvfb_pid=""
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED  window run: $*"
  [ -s "${work:-}/sim.err" ] && sed "s/^/        brindle-sim: /" "$work/sim.err" | tail -20
  exit 1
}
winpath() { echo "Z:$1" | tr / '\\'; }

zip=$(realpath "$zip")
(cd "$work" && cmake -E tar xf "$zip")
program=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'brindle-*')
[ -f "$program/brindle.exe" ] || fail "the zip holds no brindle.exe"

"$sim" --data "$root/data/sim" --addr-file "$work/addr.txt" --endpoints "$work/endpoints.ini" \
  --cert-file "$work/ca.pem" --a2s 2 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 300); do grep -q '^ready$' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^ready$' "$work/sim.out" || fail "brindle-sim did not start: $(cat "$work/sim.err")"
# The certificate by its Windows name; the services by a name the certificate holds (Schannel).
sed -i 's|^ca_file=/\(.*\)$|ca_file=Z:\\\1|; /^ca_file=/ y|/|\\|' "$work/endpoints.ini"
sed -i 's|https://127.0.0.1:|https://localhost:|g' "$work/endpoints.ini"
endpoints=$(winpath "$work/endpoints.ini")

# The game on drive C: with one official map; the zip's own brindle-cli.exe names it for the
# program folder (the unpacked folder itself, the programs' default).
maps=$WINEPREFIX/drive_c/games/csgo/csgo/maps
rm -rf "$WINEPREFIX/drive_c/games/csgo"
mkdir -p "$maps"
echo 730 >"$WINEPREFIX/drive_c/games/csgo/steam_appid.txt"
echo official >"$maps/de_dust2.bsp"
timeout 120 "$wine" "$program/brindle-cli.exe" --endpoints "$endpoints" game csgo 'C:\games\csgo' \
  >"$work/cli.out" 2>&1 || fail "brindle-cli.exe game csgo: $(cat "$work/cli.out")"

# A virtual screen, and a Wine server that draws on it.
Xvfb -displayfd 3 -screen 0 1366x900x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
DISPLAY=:$(cat "$work/display")
export DISPLAY
"$wineserver" -k 2>/dev/null || true
"$wine" "$program/brindle.exe" --endpoints "$endpoints" >"$work/brindle.out" 2>&1 &

window=""
for _ in $(seq 1 120); do
  window=$(xdotool search --onlyvisible --name 'Brindle' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || fail "no window within 60 s: $(cat "$work/brindle.out")"
echo "ok      window up: $(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')"

shot() { import -window "$window" "$shots/$1.png"; }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
# Whether the window's picture has rows in the area W x H at X,Y (the lists are white when empty).
has_rows() { # has_rows PICTURE W H X Y
  local spread
  spread=$(identify -format '%[fx:standard_deviation]' "$shots/$1.png[$2x$3+$4+$5]")
  awk -v s="$spread" 'BEGIN { exit !(s > 0.02) }'
}
# Waits up to $1 seconds for has_rows on fresh pictures of the window.
wait_rows() { # wait_rows SECONDS NAME W H X Y
  local n=$(($1 * 2)) name=$2
  shift 2
  for _ in $(seq 1 "$n"); do
    shot "$name"
    has_rows "$name" "$@" && return 0
    sleep 0.5
  done
  return 1
}

# The places of the controls, for the window's opening size (1280 x 840).
sleep 2
shot 0-start
click 70 153  # 服务器
wait_rows 30 1-servers 900 200 240 250 || fail "the server list stayed empty"
echo "ok      the server page filled"
click 63 249  # 论坛
sleep 2
shot 2-forum
click 103 104  # 资源下载
sleep 1
click 850 153  # 刀战
wait_rows 30 3-map-check 900 100 260 340 || fail "the 刀战 check listed no map"
echo "ok      the 刀战 check listed the missing maps"
click 568 274  # 自动解压至游戏
click 378 274  # 开始下载
installed=0
for _ in $(seq 1 240); do
  installed=0
  for map in 35hp_2 35hp_lego 35hp_iceworld; do [ -s "$maps/$map.bsp" ] && installed=$((installed + 1)); done
  [ "$installed" -eq 3 ] && break
  sleep 0.5
done
sleep 1
shot 4-downloaded
[ "$installed" -eq 3 ] || fail "$installed of 3 maps installed into C:\\games\\csgo\\csgo\\maps"
staging=("$maps"/.q_unbz2-*)
[ ! -e "${staging[0]}" ] || fail "a staging folder was left in the maps folder"
echo "ok      35hp_2, 35hp_lego, 35hp_iceworld installed through q_unbz2.exe"
echo "test-windows-window: passed; pictures in $shots"
