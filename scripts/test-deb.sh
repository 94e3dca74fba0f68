#!/usr/bin/env bash
# The Debian package as a player gets it: builds it (scripts/package-deb.sh), installs it with
# apt-get (Debian's Qt, libcurl and 7zip come with it), runs /usr/bin/brindle-cli info and
# /usr/bin/brindle --exit-after-init (offscreen) as an ordinary user with a fresh home, and checks
# that the program folder became the user's data folder and that the window found the system's
# 7-Zip; then the same for the superuser, whose /usr/bin must stay clean. The package is removed
# at the end unless it was installed before. Needs root or sudo; CI runs it as root.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package-deb.sh | tail -n 1)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

work=$(mktemp -d /tmp/brindle-deb.XXXXXX)
chmod 755 "$work"
had_package=0
dpkg-query -W -f='${Status}' brindle 2>/dev/null | grep -q "install ok installed" && had_package=1
cleanup() {
  [ "$had_package" -eq 1 ] || $sudo apt-get purge -y -qq brindle >/dev/null 2>&1 || true
  $sudo rm -rf "$work"
}
trap cleanup EXIT

$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "$PWD/$deb" >/dev/null
echo "installed $deb: $(dpkg-query -W -f='${Version}, depends: ${Depends}' brindle)"
for f in /usr/bin/brindle /usr/bin/brindle-cli /usr/share/applications/brindle.desktop \
  /usr/share/icons/hicolor/scalable/apps/brindle.svg /usr/share/doc/brindle/copyright; do
  [ -f "$f" ] || { echo "test-deb: $f is missing from the package" >&2; exit 1; }
done
dpkg -L brindle | grep -q '/brindle/libbrindle_web\.so$' ||
  { echo "test-deb: the browser engine module is missing from the package" >&2; exit 1; }

# Services nobody answers (a closed loopback port): start-up's requests fail at once.
{
  echo "[endpoints]"
  for service in software server_list favourites forum user_info; do
    echo "$service=http://127.0.0.1:9/$service"
  done
} >"$work/endpoints.ini"
chmod 644 "$work/endpoints.ini"

fail() { echo "test-deb: $*" >&2; exit 1; }

# One user's run: $1 the user (empty: this one), $2 its home, then the program and arguments.
run_as() {
  local user=$1 home=$2
  shift 2
  local env=(env -i HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen LANG=C.UTF-8)
  if [ -n "$user" ]; then
    $sudo setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups "${env[@]}" "$@"
  else
    "${env[@]}" "$@"
  fi
}

check_user() {
  local user=$1 home=$2
  local folder=$home/.local/share/brindle
  local info
  info=$(run_as "$user" "$home" timeout 60 /usr/bin/brindle-cli --endpoints "$work/endpoints.ini" \
    --json info) || fail "brindle-cli info failed for ${user:-$(id -un)}"
  grep -qF "\"program_dir\": \"$folder\"" <<<"$info" ||
    fail "brindle-cli's program folder is not $folder: $info"
  [ -d "$folder/qdata" ] || fail "$folder/qdata was not made"
  run_as "$user" "$home" timeout 120 /usr/bin/brindle --endpoints "$work/endpoints.ini" \
    --exit-after-init >"$work/window.log" 2>&1 ||
    fail "brindle --exit-after-init failed ($?) for ${user:-$(id -un)}: $(cat "$work/window.log")"
  # Start-up passed the extractor check (7zz of the 7zip package) and owned the folder.
  [ -f "$folder/download/brindle.lock" ] || fail "the window did not start on $folder"
  echo "ok: ${user:-$(id -un)} runs brindle and brindle-cli with the program folder $folder"
}

# An ordinary user: nobody, with a home of its own.
if [ "$(id -u)" -eq 0 ] || [ -n "$sudo" ]; then
  $sudo install -d -o nobody -g "$(id -gn nobody)" "$work/nobody"
  check_user nobody "$work/nobody"
fi
# The user running this (the superuser in CI): its data folder, never /usr/bin.
mkdir -p "$work/self"
check_user "" "$work/self"
for leftover in /usr/bin/qdata /usr/bin/download; do
  [ ! -e "$leftover" ] || fail "$leftover was made in the programs' folder"
done
echo "test-deb: the package installs and runs"
