#!/usr/bin/env bash
# Installs what the build, the tests and `make run` need on a Debian machine.
# apt-get update runs only when something is missing, so a warm machine pays nothing.
set -euo pipefail

packages=(cmake ninja-build make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine64 googletest xvfb xauth x11-apps imagemagick nsis zip
          fonts-liberation fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
