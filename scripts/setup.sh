#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Ombrix needs.
# Idempotent: prints nothing and changes nothing when all of them are present.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libpcap-dev libcap-dev libsqlite3-dev sqlite3 libfixbuf-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-charts-dev libqt6opengl6-dev
    libgtest-dev
    iproute2 iputils-ping libcap2-bin kmod
    python3 locales tzdata
    tor-geoipdb iso-codes
    clang libclang-rt-14-dev clang-format
    xvfb xauth xdotool x11-apps
    nfdump
    linux-perf hyperfine time tcpreplay darkstat
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
