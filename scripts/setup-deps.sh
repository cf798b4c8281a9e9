#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (and with `fuzz`, the fuzz build's). Does nothing when all are present.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev libfmt-dev nlohmann-json3-dev zlib1g-dev libsqlite3-dev sqlite3 python3
          qt6-base-dev libgl-dev fonts-dejavu-core libicu-dev)
# `setup-deps.sh fuzz`: the fuzz targets' compiler and libFuzzer as well.
if [ "${1:-}" = fuzz ]; then packages+=(clang libclang-rt-14-dev); fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
