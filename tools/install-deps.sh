#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing,
# so a warm machine installs nothing.
set -euo pipefail
packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libxml2-dev default-jdk-headless python3-dev libpython3-dev r-base-core r-base-dev clang libclang-rt-dev libzmq3-dev python3-matplotlib python3-numpy python3-pandas python3-ipykernel python3-jupyter-client python3-venv python3-pip python3-wheel libjna-java junit5 clang-format-14 g++-mingw-w64-x86-64-posix wine64 googletest dpkg-dev xz-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages and not root: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y "${missing[@]}"
