"""Per-call cost of GetVariableCount from Python against the same call from C,
measured in one process against one running engine:
  C loop (baseline), raw ctypes call, and the package's variable_count().
  bench_python.py <engine home> <path of libvexapythonbench.so> [calls]"""
import ctypes
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


def main():
    home, loop_library = sys.argv[1], sys.argv[2]
    calls = int(sys.argv[3]) if len(sys.argv) > 3 else 20000
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


if __name__ == "__main__":
    main()
