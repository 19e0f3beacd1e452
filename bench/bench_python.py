"""Per-call cost of GetVariableCount from Python against the same call from C,
measured in one process against one running engine:
  C loop (baseline), raw ctypes call, and the package's variable_count().
  bench_python.py <engine home> <path of libvexapythonbench.so> [calls] [--json PATH]
--json also writes the results as a benchmark JSON file (the shape of
--benchmark_out_format=json), for bench/benchtable.py."""
import ctypes
import json
import os
import sys
import tempfile
import time

import vexa.dictionary
import vexa.engine
from vexa import _native


def per_call(function, calls):
    best = float("inf")
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(calls):
            function()
        best = min(best, (time.perf_counter() - start) / calls)
    return best


def write_json(path, calls, costs):
    runs = [{"name": name, "run_name": name, "run_type": "iteration", "iterations": calls,
             "real_time": cost * 1e9, "cpu_time": cost * 1e9, "time_unit": "ns"}
            for name, cost in costs.items()]
    with open(path, "w") as out:
        json.dump({"context": {"executable": __file__}, "benchmarks": runs}, out, indent=1)


def main():
    arguments = sys.argv[1:]
    json_path = None
    if "--json" in arguments:
        at = arguments.index("--json")
        json_path = arguments[at + 1]
        del arguments[at:at + 2]
    home, loop_library = arguments[0], arguments[1]
    calls = int(arguments[2]) if len(arguments) > 2 else 20000
    loop = ctypes.CDLL(loop_library).vexa_bench_get_variable_count_loop
    loop.restype, loop.argtypes = ctypes.c_double, [ctypes.c_int]
    with tempfile.TemporaryDirectory() as output:
        with vexa.engine.session(home, output_log=os.path.join(output, "output.log")):
            lib = _native.library()
            err = ctypes.c_int()
            loop(calls)  # warm up the connection
            c_cost = min(loop(calls) for _ in range(5)) / calls
            raw_cost = per_call(lambda: lib.GetVariableCount(ctypes.byref(err)), calls)
            package_cost = per_call(vexa.dictionary.variable_count, calls)
    print(f"GetVariableCount from C:              {c_cost * 1e6:8.2f} us per call")
    print(f"GetVariableCount through ctypes:      {raw_cost * 1e6:8.2f} us per call"
          f"  ratio {raw_cost / c_cost:.2f}")
    print(f"vexa.dictionary.variable_count():     {package_cost * 1e6:8.2f} us per call"
          f"  ratio {package_cost / c_cost:.2f}")
    if json_path:
        write_json(json_path, calls, {"C_GetVariableCount": c_cost, "ctypes_GetVariableCount": raw_cost,
                                      "package_variable_count": package_cost})


if __name__ == "__main__":
    main()
