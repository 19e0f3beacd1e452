#!/usr/bin/env python3
"""Checks the Python package's signature table against the C header as the
compiler reads it.

The names: every function the compiler lists for the header (gcc -aux-info)
must have an entry in `vexa._native.SIGNATURES`, and no entry may name
anything else. The types: a C++ file is written in which each entry is a
static assertion on the type of the header's function, so the build fails
when an entry spells a type the header does not have.

    check-python-signatures.py AUX_INFO NATIVE_PY OUT_CPP
"""
import re
import runpy
import sys

# Spellings of the table that stand for another C type.
_SPELLED_AS = {"out char*": "char**"}


def header_functions(aux_info):
    """Names of the functions the compiler declared from vexaxd_p.h."""
    names = set()
    with open(aux_info, encoding="utf-8") as listing:
        for line in listing:
            if "vexaxd_p.h:" not in line:
                continue
            # gcc writes one normalised prototype per line: "... NAME (TYPES);"
            match = re.search(r"(\w+) \(.*\);\s*$", line)
            if match:
                names.add(match.group(1))
    return names


def signature_table(native_py):
    return runpy.run_path(native_py)["SIGNATURES"]


def c_type(spelling):
    return _SPELLED_AS.get(spelling, spelling)


def main(aux_info, native_py, out_cpp):
    declared = header_functions(aux_info)
    table = signature_table(native_py)
    missing = sorted(declared - set(table))
    extra = sorted(set(table) - declared)
    if not declared or missing or extra:
        print("vexa._native.SIGNATURES does not match vexaxd_p.h", file=sys.stderr)
        print("  not in the table: " + ", ".join(missing), file=sys.stderr)
        print("  not in the header: " + ", ".join(extra), file=sys.stderr)
        return 1
    lines = [
        "// Written by tools/check-python-signatures.py from the Python package's",
        "// signature table: the compiler checks each entry against the header.",
        "#include <cstdint>",
        "#include <type_traits>",
        "",
        "#include \"vexaxd_p.h\"",
        "",
    ]
    for name, (result, *arguments) in table.items():
        parameters = ", ".join(c_type(a) for a in arguments)
        lines.append(f"static_assert(std::is_same_v<decltype(&{name}), {c_type(result)} (*)({parameters})>,")
        lines.append(f"              \"vexa._native.SIGNATURES['{name}'] differs from vexaxd_p.h\");")
    with open(out_cpp, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
