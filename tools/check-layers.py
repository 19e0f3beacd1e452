#!/usr/bin/env python3
"""Fails when an include of the internal library runs against its layers.

The layers, lowest first: platform, runtime, codec, transport, hosting; the
exported API (backend/drivex/vexaxd_p) sits on top and may use them all. A
file of one layer includes only its own layer and the ones below it, always
through the layer's folder ("transport/vexapipe.h"); a quoted include without
a layer folder would reach the API or a tool. Operating-system headers belong
to platform alone, the one layer that calls the system.

Usage: check-layers.py <source root>. Prints each offending line; exit 1 when
there is one.
"""
import pathlib
import re
import sys

LAYERS = ["platform", "runtime", "codec", "transport", "hosting"]
QUOTED = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ANGLED = re.compile(r'^\s*#\s*include\s+<([^>]+)>')
SYSTEM = re.compile(r"^(sys/|netinet/|arpa/|(unistd|pthread|poll|signal|dlfcn|fcntl|spawn|sched|dirent|termios|pwd)\.h$)")


def offences(path, layer):
    rank = LAYERS.index(layer)
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        quoted = QUOTED.match(line)
        if quoted:
            target = quoted.group(1)
            folder = target.split("/", 1)[0] if "/" in target else None
            if folder not in LAYERS:
                yield number, line, "reaches outside the internal layers"
            elif LAYERS.index(folder) > rank:
                yield number, line, f"{layer} must not depend on {folder}"
        angled = ANGLED.match(line)
        if angled and layer != "platform" and SYSTEM.match(angled.group(1)):
            yield number, line, "operating-system header outside platform"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    common = root / "backend" / "drivex" / "common"
    found = 0
    checked = 0
    for part in ("include", "src"):
        for layer in LAYERS:
            for path in sorted((common / part / layer).rglob("*")):
                if path.suffix not in (".h", ".cpp"):
                    continue
                checked += 1
                for number, line, reason in offences(path, layer):
                    print(f"{path.relative_to(root)}:{number}: {line.strip()}  -- {reason}")
                    found += 1
    # Every file of the library must lie in a layer's folder.
    for part in ("include", "src"):
        for path in sorted((common / part).rglob("*")):
            if path.is_file() and path.relative_to(common / part).parts[0] not in LAYERS:
                print(f"{path.relative_to(root)}: outside every layer's folder")
                found += 1
    if checked == 0:
        print(f"no library sources under {common}")
        return 1
    print(f"{checked} files checked, {found} wrong-way includes")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
