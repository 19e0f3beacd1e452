"""The Python package's bulk paths against the same work done from C, in one
process over one engine holding 1,000,000 x 10 numeric cases:
  C pass reading every value (baseline), vexa.data.read, to_pandas,
  ReadCursor iteration (through the compiled part, and through ctypes alone
  as the package did before it had one), one new variable written from C
  (baseline) and from numpy with vexa.data.write, and the R package's
  vexa_read_data of the same data (an R session with an engine of its own).
  bench_python_data.py <engine home> <libvexapythonbench.so> [cases] [--json PATH] [--r-library DIR]
"""
import ctypes
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy

import vexa
import vexa.data
from vexa import _native

VARIABLES = 10
REPETITIONS = 3


def data_file(cases):
    """The data of bench_cursor (same path and values), written when missing."""
    path = f"/tmp/vexa-bench-cursor-{cases}x{VARIABLES}.csv"
    if os.path.exists(path):
        return path
    rows = numpy.arange(cases) % 1000 * 0.25
    partial = f"{path}.part{os.getpid()}"
    with open(partial, "w") as out:
        out.write(",".join(f"x{v}" for v in range(VARIABLES)) + "\n")
        for start in range(0, cases, 100000):
            block = rows[start:start + 100000]
            out.write("".join(",".join(f"{r + v:.2f}" for v in range(VARIABLES)) + "\n" for r in block))
    os.rename(partial, path)
    return path


def best(function, repetitions=REPETITIONS):
    times = []
    for _ in range(repetitions):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return min(times)


def iterate_cursor():
    with vexa.Procedure("ReadCursor"), vexa.ReadCursor() as cursor:
        count = sum(1 for _ in cursor)
    return count


def iterate_cursor_through_ctypes():
    compiled = _native._compiled
    _native._compiled = None  # the package as it was: every value through ctypes
    try:
        return iterate_cursor()
    finally:
        _native._compiled = compiled


def r_read_seconds(r_library, engine_home, data):
    """vexa_read_data of the same data from R, timed inside R (best of three)."""
    script = f"""
library(vexa)
vexa_start({engine_home!r}, data_file = {data!r})
times <- sapply(1:{REPETITIONS}, function(i) system.time(frame <- vexa_read_data())[["elapsed"]])
vexa_stop()
stopifnot(nrow(frame) > 0)
cat(min(times), "\\n")
"""
    env = dict(os.environ, R_LIBS=r_library)
    done = subprocess.run(["Rscript", "--vanilla", "-e", script], capture_output=True, text=True, env=env,
                          timeout=600)
    if done.returncode != 0:
        print(done.stderr, file=sys.stderr)
        return None
    return float(done.stdout.split()[-1])


def write_json(path, costs):
    runs = [{"name": name, "run_name": name, "run_type": "iteration", "iterations": 1,
             "real_time": cost * 1e9, "cpu_time": cost * 1e9, "time_unit": "ns"}
            for name, cost in costs.items() if cost is not None]
    with open(path, "w") as out:
        json.dump({"context": {"executable": __file__}, "benchmarks": runs}, out, indent=1)


def option(arguments, name):
    if name not in arguments:
        return None
    at = arguments.index(name)
    value = arguments[at + 1]
    del arguments[at:at + 2]
    return value


def main():
    arguments = sys.argv[1:]
    json_path = option(arguments, "--json")
    r_library = option(arguments, "--r-library")
    home, loop_library = arguments[0], arguments[1]
    cases = int(arguments[2]) if len(arguments) > 2 else 1000000
    loops = ctypes.CDLL(loop_library)
    loops.vexa_bench_read_all_values.restype = ctypes.c_double
    loops.vexa_bench_read_all_values.argtypes = [ctypes.c_int, ctypes.POINTER(ctypes.c_double)]
    loops.vexa_bench_write_one_variable.restype = ctypes.c_double
    loops.vexa_bench_write_one_variable.argtypes = [ctypes.c_char_p]
    data = data_file(cases)
    costs = {}
    with tempfile.TemporaryDirectory() as output, \
            vexa.session(home, output_log=os.path.join(output, "output.log"), data_file=data):
        checksum = ctypes.c_double()

        def c_read():
            if loops.vexa_bench_read_all_values(VARIABLES, ctypes.byref(checksum)) < 0:
                raise RuntimeError("the C read pass failed")

        costs["C_read_all_values"] = best(c_read)
        columns = vexa.data.read()
        if abs(sum(float(c.sum()) for c in columns.values()) - checksum.value) > 1e-6 * abs(checksum.value):
            raise RuntimeError("vexa.data.read and the C pass disagree")
        costs["vexa_data_read"] = best(vexa.data.read)
        costs["vexa_data_to_pandas"] = best(vexa.data.to_pandas)
        costs["ReadCursor_iteration"] = best(iterate_cursor)
        costs["ReadCursor_iteration_ctypes_only"] = best(iterate_cursor_through_ctypes, 1)
        written = iter(range(1000))

        def c_write():
            if loops.vexa_bench_write_one_variable(f"c{next(written)}".encode()) < 0:
                raise RuntimeError("the C write failed")

        costs["C_write_one_variable"] = best(c_write)
        values = numpy.arange(cases, dtype=numpy.float64)
        costs["vexa_data_write_one_variable"] = best(
            lambda: vexa.data.write({f"p{next(written)}": values}))
    if r_library:
        costs["R_vexa_read_data"] = r_read_seconds(r_library, home, data)
    for name, cost in costs.items():
        print(f"{name:36s} {cost * 1e3:10.1f} ms" if cost is not None else f"{name:36s} failed")
    if json_path:
        write_json(json_path, costs)


if __name__ == "__main__":
    main()
