#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need; with arguments, the
# packages named instead (the Windows build and the fuzzers ask for theirs this way).
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      libcurl4-openssl-dev libssl-dev zlib1g-dev nlohmann-json3-dev libsimdjson-dev libcpp-httplib-dev
      libgtest-dev libgmock-dev libbenchmark-dev libbz2-dev bzip2
      qt6-base-dev qt6-webengine-dev qt6-translations-l10n libgl-dev ccache lld clang-format fonts-noto-cjk 7zip curl hyperfine xvfb xauth
      libclang-rt-14-dev)  # clang's FuzzedDataProvider.h: the test builds replay the fuzz corpora
[ $# -eq 0 ] || pkgs=("$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
