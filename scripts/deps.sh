#!/usr/bin/env bash
# Installs the Debian packages Pegsquare needs to build, run and test.
# Only what is missing is installed; a machine that has everything is left
# alone and nothing is fetched.
#
#   deps.sh            what the build, the game and the tests need
#   deps.sh --bench    also wrk and nginx, for the server benchmark
#   deps.sh --analyse  also clang-tidy, cppcheck and valgrind, for the
#                      slower program-wide checks
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libvulkan-dev
    libsdl2-dev libasound2-dev libcurl4-openssl-dev libjpeg62-turbo-dev
    liblz4-dev zlib1g-dev libsqlite3-dev libcpp-httplib-dev libsodium-dev minisign
    libpq-dev postgresql postgresql-common
    libgtest-dev libgmock-dev
    clang libclang-rt-14-dev
    fonts-liberation2 fonts-dejavu-core
    xvfb xauth xdotool imagemagick curl
    desktop-file-utils appstream dpkg-dev file
)
case "${1:-}" in
    --bench) packages+=(wrk nginx-light libnginx-mod-stream) ;;
    --analyse) packages+=(clang-tidy cppcheck valgrind) ;;
esac

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
source "$(dirname "$0")/quiet.sh"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
quietly "$log" "${sudo[@]}" apt-get update
quietly "$log" "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
