#!/usr/bin/env bash
# Renders an output page of StartXD (or the demo's) to a PNG with headless
# Chromium, so the pivot tables can be looked at as a browser shows them.
#   tools/render-output.sh <page.html> <picture.png> [<width>x<height>]
# Installs Debian's chromium first when it is missing and we are root.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: $0 <page.html> <picture.png> [<width>x<height>]" >&2
    exit 2
fi
page=$(realpath "$1")
picture=$(realpath -m "$2")
size=${3:-1200x900}
if ! command -v chromium >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "chromium is missing and we are not root" >&2
        exit 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y chromium >/dev/null
fi
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --user-data-dir="$profile" --window-size="${size/x/,}" \
    --screenshot="$picture" "file://$page" 2>/dev/null
[ -s "$picture" ] || { echo "no picture was written" >&2; exit 1; }
echo "$picture"
