#!/usr/bin/env python3
"""Writes the status-code tables of the language packages from the headers.

The messages come from languages/statusmessages.txt, keyed by the codes' C++
names; the values are what the compiler gives those names (a small program
that includes the headers prints them). Every enumerator of the library's
and of the engine's enumeration needs a message, except success (0).

    gen-status-tables.py CXX SOURCE_DIR python OUT.py
    gen-status-tables.py CXX SOURCE_DIR java OUT.java
    gen-status-tables.py CXX SOURCE_DIR check-python PACKAGE_FILE.py

check-python fails when the package's table is not what would be written.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

MESSAGES = "languages/statusmessages.txt"
# (header, enumeration, C++ prefix of its enumerators)
ENUMERATIONS = (
    ("backend/drivex/common/include/runtime/statuscodes.h", "VexaStatus", ""),
    ("tools/engine/enginecodes.h", "EngineCode", "engine::"),
)
# Where the reply code of the end of the data is.
COMMON_INCLUDE = "backend/drivex/common/include"
EXTRA_HEADERS = ("codec/protocol.h",)
GROUPS = ("library", "engine")


class TableError(Exception):
    pass


def read_messages(source_dir):
    """{group: [(name, message)]} in the file's order."""
    groups = {}
    current = None
    with open(os.path.join(source_dir, MESSAGES), encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            section = re.fullmatch(r"\[(\w+)\]", line)
            if section:
                current = section.group(1)
                if current not in GROUPS or current in groups:
                    raise TableError(f"{MESSAGES}:{number}: unexpected section [{current}]")
                groups[current] = []
                continue
            entry = re.fullmatch(r"([A-Za-z_][\w:]*)\s+(\S.*)", line)
            if current is None or not entry:
                raise TableError(f"{MESSAGES}:{number}: not a name and a message: {line!r}")
            groups[current].append((entry.group(1), entry.group(2)))
    return groups


def enumerators(source_dir, header, enumeration, prefix):
    """The qualified names of an enumeration, every one of them: each item of
    its body must be NAME = NUMBER, so none can be passed over unseen."""
    with open(os.path.join(source_dir, header), encoding="utf-8") as text:
        code = text.read()
    code = re.sub(r"/\*.*?\*/", " ", code, flags=re.S)
    code = re.sub(r"//[^\n]*", " ", code)
    body = re.search(r"\benum\s+" + enumeration + r"\b[^{]*\{([^}]*)\}", code)
    if not body:
        raise TableError(f"{header}: no enumeration {enumeration}")
    names = []
    for item in body.group(1).split(","):
        if not item.strip():
            continue
        match = re.fullmatch(r"\s*(\w+)\s*=\s*\d+\s*", item)
        if not match:
            raise TableError(f"{header}: an enumerator that is not NAME = NUMBER: {item.strip()!r}")
        names.append(prefix + match.group(1))
    return names


def compiled_values(cxx, source_dir, names):
    """{name: value} as the compiler evaluates each name with the headers."""
    lines = ["#include <cstdio>"]
    lines += [f'#include "{os.path.basename(header)}"' for header, *_ in ENUMERATIONS]
    lines += [f'#include "{header}"' for header in EXTRA_HEADERS]
    lines.append("int main() {")
    lines += [f'    std::printf("%d\\n", static_cast<int>({name}));' for name in names]
    lines.append("}")
    includes = ["-I", os.path.join(source_dir, COMMON_INCLUDE)]
    for header, *_ in ENUMERATIONS:
        includes += ["-I", os.path.join(source_dir, os.path.dirname(header))]
    with tempfile.TemporaryDirectory() as work:
        program = os.path.join(work, "codes")
        with open(program + ".cpp", "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")
        built = subprocess.run([cxx, "-std=c++20", *includes, "-o", program, program + ".cpp"],
                               capture_output=True, text=True, check=False)
        if built.returncode != 0:
            raise TableError("a name of " + MESSAGES + " the headers do not declare:\n" + built.stderr)
        printed = subprocess.run([program], capture_output=True, text=True, check=True).stdout.split()
    return dict(zip(names, (int(value) for value in printed)))


def tables(cxx, source_dir):
    """{group: [(value, message)]} sorted by value."""
    messages = read_messages(source_dir)
    if set(messages) != set(GROUPS):
        raise TableError(f"{MESSAGES} needs the sections " + ", ".join(f"[{g}]" for g in GROUPS))
    named = {name for entries in messages.values() for name, _ in entries}
    declared = []
    for header, enumeration, prefix in ENUMERATIONS:
        declared += enumerators(source_dir, header, enumeration, prefix)
    values = compiled_values(cxx, source_dir, sorted(named | set(declared)))
    missing = [name for name in declared if values[name] != 0 and name not in named]
    if missing:
        raise TableError(f"codes without a message in {MESSAGES}: " + ", ".join(missing))
    result = {}
    seen = {}
    for group in GROUPS:
        for name, _ in messages[group]:
            if values[name] in seen:
                raise TableError(f"{name} and {seen[values[name]]} are both {values[name]}")
            seen[values[name]] = name
        result[group] = sorted((values[name], message) for name, message in messages[group])
    return result


def python_module(groups):
    lines = [
        '"""The message of each status code, written by tools/gen-status-tables.py from',
        f'{MESSAGES} and the headers that define the codes: edit those, then run',
        '`cmake --build build --target status_tables`."""',
        "from typing import Dict",
        "",
    ]
    for group, title in zip(GROUPS, ("The codes the library itself produces.",
                                     "The codes of the reference engine, carried in its replies.")):
        lines.append(f"#: {title}")
        lines.append(f"{group.upper()}_MESSAGES: Dict[int, str] = {{")
        lines += [f"    {value}: {json.dumps(message)}," for value, message in groups[group]]
        lines.append("}")
        lines.append("")
    return "\n".join(lines)


def java_class(groups):
    lines = [
        "// Written by tools/gen-status-tables.py at build time from",
        f"// {MESSAGES} and the headers that define the codes.",
        "package com.kor.statistics;",
        "",
        "import java.util.Map;",
        "",
        "/** The message of each status code of the library and of the engine. */",
        "final class StatusTable {",
        "    private StatusTable() {}",
    ]
    for group in GROUPS:
        entries = [f"            Map.entry({value}, {json.dumps(message)})" for value, message in groups[group]]
        lines.append("")
        lines.append(f"    static final Map<Integer, String> {group.upper()} = Map.ofEntries(")
        lines.append(",\n".join(entries) + ");")
    lines.append("}")
    return "\n".join(lines) + "\n"


def main(cxx, source_dir, mode, path):
    try:
        groups = tables(cxx, source_dir)
    except TableError as error:
        print(error, file=sys.stderr)
        return 1
    if mode == "check-python":
        with open(path, encoding="utf-8") as current:
            if current.read() == python_module(groups):
                return 0
        print(f"{path} is not the table {MESSAGES} and the headers give; rebuild it with "
              "`cmake --build build --target status_tables`", file=sys.stderr)
        return 1
    text = {"python": python_module, "java": java_class}[mode](groups)
    # Rewritten only on a change, so that what depends on it is not rebuilt.
    if os.path.exists(path):
        with open(path, encoding="utf-8") as current:
            if current.read() == text:
                return 0
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[3] not in ("python", "java", "check-python"):
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
