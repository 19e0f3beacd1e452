#!/usr/bin/env bash
# Cross-builds a static libxml2 for the Windows build from Debian's own source
# package (Debian ships no mingw build of it), with Debian's patches applied.
#   tools/windows-libxml2.sh BUILD_DIR
# installs it into BUILD_DIR/libxml2/install once; a later call finds the
# stamp and does nothing. The downloaded source package is kept in
# VEXA_SOURCE_CACHE (default ~/.cache/vexa/sources), so a fresh build directory
# does not fetch it again. The fetch uses a private apt state, so the system's
# package lists stay as they are and root is not needed.
set -euo pipefail
build_dir=$(realpath -m "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$build_dir/libxml2
install=$work/install
stamp=$install/.built
[ -f "$stamp" ] && exit 0

cache=${VEXA_SOURCE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexa/sources}
mkdir -p "$cache"
find_dsc() { ls "$cache"/libxml2_*.dsc 2>/dev/null | sort -V | tail -n 1 || true; }
dsc=$(find_dsc)
if [ -z "$dsc" ]; then
    apt_dir=$cache/apt
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    {
        echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main"
        echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main"
        echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main"
    } >"$apt_dir/sources.list"
    apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o Debug::NoLocking=1
        -o APT::Sandbox::User="$(id -un)")
    apt-get -q "${apt_options[@]}" update >/dev/null
    (cd "$cache" && apt-get -q "${apt_options[@]}" source --download-only libxml2 >/dev/null)
    rm -rf "$apt_dir"
    dsc=$(find_dsc)
    [ -n "$dsc" ] || { echo "libxml2 source package not fetched" >&2; exit 1; }
fi

rm -rf "$work"
mkdir -p "$work"
# apt checked the files against the archive's signed index; the package's own
# signature warning (no maintainer keyring here) is kept out of the log.
dpkg-source --no-copy -x "$dsc" "$work/src" >"$work/extract.log" 2>&1 || { cat "$work/extract.log" >&2; exit 1; }
# The engine reads and writes XML and renders HTML with XPath queries; the
# rest (iconv, compression, network, Python, programs) stays out.
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$install" \
    -DBUILD_SHARED_LIBS=OFF -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_LZMA=OFF \
    -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF \
    -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF \
    -DLIBXML2_WITH_HTML=ON -DLIBXML2_WITH_XPATH=ON >/dev/null
cmake --build "$work/build" -j "${JOBS:-2}" >/dev/null
cmake --install "$work/build" >/dev/null
rm -rf "$work/build" "$work/src"
basename "$dsc" >"$stamp"
