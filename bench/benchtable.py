"""Runs every benchmark of a Release build and prints one markdown table of
what was measured, its baseline from the same run, the ratio and the target;
plots the cursor pass against the number of cases with a linear fit.
  benchtable.py <build dir> [--min-time SECONDS]
Each program writes its results with --benchmark_out (JSON); bench_python.py
writes the same shape. Every benchmark runs three times and the best counts,
for the measured value and its baseline alike.
The programs run pinned to one CPU, all but the program blocks: on a guest
whose idle vCPU wakes slowly, where the scheduler places the two processes of
an exchange decides the time more than the code does, run by run (3 or 50 us
for one raw round trip, 15 or 56 ms for the raw bulk transfer)."""
import json
import os
import re
import subprocess
import sys

ROUND_TRIP_CPU = min(os.sched_getaffinity(0))
UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
TIMEOUT = 900
REPETITIONS = 3
FAILED = []


def run(build, label, command, pinned, min_time, env=None):
    """Runs one benchmark program; its results by name, times in seconds."""
    out = os.path.join(build, "bench", "results", label + ".json")
    os.makedirs(os.path.dirname(out), exist_ok=True)
    if os.path.exists(out):
        os.remove(out)
    if command[0].endswith(".py"):
        command = ["/usr/bin/python3"] + command + ["--json", out]
    elif command[0].endswith("java"):
        command = command + ["--json", out]
    else:
        command = command + [f"--benchmark_min_time={min_time}", f"--benchmark_repetitions={REPETITIONS}",
                             "--benchmark_display_aggregates_only=true", f"--benchmark_out={out}",
                             "--benchmark_out_format=json"]
    print(f"== {label}{' (pinned to CPU %d)' % ROUND_TRIP_CPU if pinned else ''}", flush=True)
    pin = (lambda: os.sched_setaffinity(0, {ROUND_TRIP_CPU})) if pinned else None
    try:
        status = subprocess.run(command, preexec_fn=pin, env=env, timeout=TIMEOUT).returncode
    except subprocess.TimeoutExpired:
        status = "timed out"
    if status != 0:
        FAILED.append(f"{label}: {status}")
    if not os.path.exists(out):
        return {}
    with open(out) as results:
        runs = json.load(results).get("benchmarks", [])
    found = {}
    for entry in runs:
        if entry.get("run_type", "iteration") != "iteration":
            continue
        # "BM_X/iterations:1/manual_time" is reported as "BM_X".
        name = re.sub(r"/iterations:\d+", "", entry["name"])
        for suffix in ("/real_time", "/manual_time"):
            name = name.removesuffix(suffix)
        if entry.get("error_occurred"):
            found.setdefault(name, {"error": entry.get("error_message", "failed")})
            continue
        entry = dict(entry)
        entry["seconds"] = entry["real_time"] * UNITS[entry.get("time_unit", "ns")]
        # The best repetition: what the code costs when nothing else runs.
        if "seconds" not in found.get(name, {}) or entry["seconds"] < found[name]["seconds"]:
            found[name] = entry
    return found


PANDAS_READ = """
import sys, time
import pandas
best = None
for _ in range(3):
    start = time.perf_counter()
    frame = pandas.read_csv(sys.argv[1])
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
assert frame.shape == (1000000, 10), frame.shape
print(best)
"""


def pandas_read(path):
    """Best of three pandas.read_csv of `path`, pinned like the rows it sits
    beside, as a figure for reference; None when pandas is missing."""
    if not os.path.exists(path):
        return None
    try:
        done = subprocess.run(["/usr/bin/python3", "-c", PANDAS_READ, path], capture_output=True,
                              text=True, timeout=TIMEOUT,
                              preexec_fn=lambda: os.sched_setaffinity(0, {ROUND_TRIP_CPU}))
    except subprocess.TimeoutExpired:
        return None
    return float(done.stdout) if done.returncode == 0 else None


def seconds(results, name):
    entry = results.get(name)
    return entry["seconds"] if entry and "seconds" in entry else None


def why_missing(results, name, absent="not run"):
    entry = results.get(name)
    return f"failed: {entry['error']}" if entry and "error" in entry else absent


def duration(value):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if value >= scale:
            return f"{value / scale:.3g} {unit}"
    return f"{value / 1e-9:.3g} ns"


class Table:
    def __init__(self):
        self.rows = []

    def ratio(self, what, results, name, base_results, base_name, target=None, scale=1,
              base_label="", absent="not run"):
        """A row of `name` against `scale` times `base_name`; target is a
        ratio that must not be exceeded."""
        cost, floor = seconds(results, name), seconds(base_results, base_name)
        target_text = f"≤ {target:g}x" if target else "—"
        if cost is None or floor is None:
            missing = why_missing(results, name, absent) if cost is None else \
                why_missing(base_results, base_name, absent)
            self.rows.append([what, duration(cost) if cost else missing,
                              duration(floor * scale) if floor else missing, "—", target_text, "—"])
            return
        value = cost / (floor * scale)
        base_text = duration(floor * scale) + (f" ({base_label})" if base_label else "")
        met = "—" if not target else ("yes" if value <= target else "**no**")
        self.rows.append([what, duration(cost), base_text, f"{value:.2f}x", target_text, met])

    def value(self, what, measured, target_text, met):
        self.rows.append([what, measured, "—", "—", target_text, "—" if met is None else
                          ("yes" if met else "**no**")])

    def markdown(self):
        header = ["What", "Measured", "Baseline (same run)", "Ratio", "Target", "Met"]
        lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
        lines += ["| " + " | ".join(row) + " |" for row in self.rows]
        return "\n".join(lines)


def linear_fit(xs, ys):
    n = len(xs)
    mean_x, mean_y = sum(xs) / n, sum(ys) / n
    sxx = sum((x - mean_x) ** 2 for x in xs)
    slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sxx
    intercept = mean_y - slope * mean_x
    total = sum((y - mean_y) ** 2 for y in ys)
    residual = sum((y - (intercept + slope * x)) ** 2 for x, y in zip(xs, ys))
    return slope, intercept, 1 - residual / total if total else 1.0


def scaling(build, cursor):
    """Fits and plots BM_CursorScaling/<read>/<cases>; the lines it prints."""
    series = {}
    for name, entry in cursor.items():
        parts = name.split("/")
        if parts[0] == "BM_CursorScaling" and "seconds" in entry:
            series.setdefault(int(parts[1]), []).append((int(parts[2]), entry["seconds"] * 1e3))
    labels = {0: "NextCase only", 1: "every value read"}
    lines, fits = [], {}
    for read, points in sorted(series.items()):
        points.sort()
        if len(points) < 3:
            continue
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        fits[read] = (points, linear_fit(xs, ys))
        slope, intercept, r2 = fits[read][1]
        lines.append(f"cursor pass, {labels[read]}: {slope * 1e6:.1f} ms per million cases "
                     f"{intercept:+.2f} ms, R^2 = {r2:.4f} ({len(points)} sizes)")
    if not fits:
        return ["cursor scaling: no points measured"]
    path = os.path.join(build, "bench", "cursor_scaling.png")
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return lines + ["plot not made: matplotlib is missing (python3-matplotlib)"]
    figure, axes = plt.subplots(figsize=(8, 5))
    for (read, (points, (slope, intercept, r2))), colour in zip(sorted(fits.items()), ("tab:blue", "tab:orange")):
        xs, ys = [p[0] / 1e3 for p in points], [p[1] for p in points]
        axes.plot(xs, ys, "o", color=colour, label=f"{labels[read]} (measured)")
        ends = [0, max(xs)]
        axes.plot(ends, [intercept + slope * 1e3 * x for x in ends], "-", color=colour, alpha=0.7,
                  label=f"fit: {slope * 1e6:.1f} ms per million cases {intercept:+.1f} ms, R² = {r2:.3f}")
    axes.set_xlabel("thousands of cases (10 numeric variables)")
    axes.set_ylabel("pass time (ms)")
    axes.set_title("Read cursor pass against the reference engine")
    axes.set_xlim(left=0)
    axes.set_ylim(bottom=0)
    axes.grid(alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    return lines + [f"plot: {path}"]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    min_time = float(sys.argv[sys.argv.index("--min-time") + 1]) if "--min-time" in sys.argv else 0.2
    bench = os.path.join(build, "bench")
    engine_home = os.path.join(build, "tools", "engine")
    source = os.path.dirname(os.path.abspath(__file__))

    api = run(build, "bench_api", [f"{bench}/bench_api", "--benchmark_filter=-BM_ProgramBlock|BM_RoundTripSpread"], True, min_time)
    # Blocks run as a program runs them: the engine, the language process and
    # their threads hand each block on, and one CPU would serialise them all.
    blocks = run(build, "bench_api_blocks",
                 [f"{bench}/bench_api", "--benchmark_filter=BM_GetVariableCount|BM_ProgramBlock|BM_RoundTripSpread"],
                 False, min_time)
    pipe = run(build, "bench_pipe", [f"{bench}/bench_pipe"], True, min_time)
    codec = run(build, "bench_codec", [f"{bench}/bench_codec"], True, min_time)
    cursor = run(build, "bench_cursor", [f"{bench}/bench_cursor"], True, min_time)
    datastep = run(build, "bench_datastep", [f"{bench}/bench_datastep"], True, min_time)
    imports = run(build, "bench_import", [f"{bench}/bench_import"], True, min_time)
    # The package as the engine home carries it: with its compiled part.
    env = dict(os.environ, VEXA_LIBRARY=os.path.abspath(f"{build}/backend/drivex/vexaxd_p/libvexaxd_p.so"),
               PYTHONPATH=os.path.join(engine_home, "Python", "Lib", "site-packages"))
    python = run(build, "bench_python", [os.path.join(source, "bench_python.py"), engine_home,
                                         f"{bench}/libvexapythonbench.so", "5000"], True, min_time, env)
    r_library = os.path.join(engine_home, "R", "library")
    python_data = run(build, "bench_python_data",
                      [os.path.join(source, "bench_python_data.py"), engine_home, f"{bench}/libvexapythonbench.so",
                       "1000000"] + (["--r-library", r_library] if os.path.isdir(r_library) else []),
                      True, min_time, env)
    java_jar = os.path.join(bench, "bench_java.jar")
    java = run(build, "bench_java", ["/usr/bin/java", "-cp", f"{java_jar}:{engine_home}/vexa.jar",
                                     "JavaCursorBench", engine_home, os.path.abspath(f"{bench}/libvexajavabench.so"),
                                     "5"],
               True, min_time) if os.path.exists(java_jar) else {}

    table = Table()
    table.ratio("GetVariableCount round trip (52-byte request, 56-byte reply)", api,
                "BM_GetVariableCount", api, "BM_RawRequestReply", 1.3, base_label="raw sequenced-packet")
    table.ratio("the same round trip against ZeroMQ REQ/REP over ipc://, same sizes, two processes", api,
                "BM_GetVariableCount", api, "BM_ZmqRequestReply", 0.4, base_label="ZeroMQ",
                absent="not built (no libzmq)")
    table.ratio("VexaPipe framed 52-byte round trip", pipe, "BM_VexaPipeRoundTrip", pipe,
                "BM_RawSeqpacketRoundTrip", 1.2, base_label="raw sequenced-packet")
    table.ratio("pivot table of 100 x 100 = 10,000 number cells (20,105 calls: a column selection and a "
                "cell per cell), StartProcedure to EndProcedure", api, "BM_PivotTable10000Cells",
                api, "BM_RawRequestReply", 3.0, scale=10000, base_label="10,000 raw round trips")
    table.ratio("read cursor pass, 1,000,000 cases x 10 numeric (80 MB), NextCase only", cursor,
                "BM_CursorPass/0", cursor, "BM_RawTransfer", 1.5, base_label="raw transfer, 8192-byte packets")
    table.ratio("the same pass reading every value with GetNumericValue", cursor, "BM_CursorPass/1", cursor,
                "BM_RawTransfer", 2.0, base_label="raw transfer")
    table.ratio("the same pass from Java: 1,000,000 x 10 numeric into double[] columns (blocks of 4096 cases)",
                java, "Java_CursorColumns", java, "C_CursorPass", 1.5, base_label="C cursor pass, same process",
                absent="not built (no JDK or JNA)")
    table.ratio("DESCRIBE of the same 10 variables over 1,000,000 cases, submitted", cursor, "BM_Describe",
                cursor, "BM_CursorPass/1", 2.0, base_label="cursor pass reading every value")
    reads = cursor.get("BM_LocalValueReads", {})
    if "items_per_second" in reads:
        rate = reads["items_per_second"]
        table.value("local value reads (GetNumericValue inside one block)",
                    f"{rate / 1e6:.0f} M/s ({duration(1 / rate)} per read)", "≥ 100 M/s", rate >= 100e6)
    else:
        table.value("local value reads (GetNumericValue inside one block)",
                    why_missing(cursor, "BM_LocalValueReads"), "≥ 100 M/s", None)
    peak = cursor.get("BM_CursorPass/0", {}).get("peak_rss_MiB")
    if peak is not None:
        table.value("client peak resident memory during a pass", f"{peak:.1f} MiB", "≤ 60 MiB", peak <= 60)
    table.ratio("data step: GetNCellValueOptimize pass, 100,000 x 10 numeric", datastep, "BM_OptimizePass",
                datastep, "BM_CursorPass", 2.0, base_label="cursor pass, same data")
    table.ratio("CSV import, 1,000,000 x 10 numeric (the cursor rows' file)", imports, "BM_ImportCsv",
                imports, "BM_FromCharsBaseline", 1.5, base_label="read + std::from_chars of every field")
    pandas_seconds = pandas_read("/tmp/vexa-bench-cursor-1000000x10.csv")
    if pandas_seconds is not None:
        imports["pandas_read_csv"] = {"seconds": pandas_seconds}
    table.ratio("pandas.read_csv of the same file, for reference", imports, "pandas_read_csv", imports,
                "BM_FromCharsBaseline", base_label="read + std::from_chars of every field",
                absent="not run (no pandas)")
    for arg, what in (("0", "1,000,000 x 10 numeric"),
                      ("1", "1,000,000 x 10 mixed: 8 numeric with missing, 2 strings (12 cells a case)")):
        entry = imports.get(f"BM_EngineResident/{arg}", {})
        if "engine_rss_MiB" in entry:
            rss, limit = entry["engine_rss_MiB"], entry["limit_MiB"]
            table.value(f"engine resident memory after loading {what} ({entry['data_MiB']:.0f} MiB of cells)",
                        f"{rss:.0f} MiB", f"≤ 1.3 x cells + 50 MiB = {limit:.0f} MiB", rss <= limit)
        else:
            table.value(f"engine resident memory after loading {what}",
                        why_missing(imports, f"BM_EngineResident/{arg}"), "≤ 1.3 x cells + 50 MiB", None)
    writes = seconds(datastep, "BM_MillionCellWrites")
    table.ratio("1,000,000 queued SetNCellValue writes and their CommitDataSet"
                + (f" ({writes * 1e3:.0f} ns per write)" if writes else ""), datastep,
                "BM_MillionCellWrites", datastep, "BM_RawTransferOfWriteRecords", 5.0,
                base_label="raw transfer of the records' wire bytes")
    for name, what in (("BM_EncodeIntoAndParse20MiB", "20 MiB message: EncodeInto + ParseBuf (copy)"),
                       ("BM_EncodeIntoAndAdopt20MiB", "20 MiB message: EncodeInto + ParseBuf (adopted image)"),
                       ("BM_ContructSendDataAndParse20MiB", "20 MiB message: ContructSendData + ParseBuf")):
        table.ratio(what, codec, name, codec, "BM_Memcpy20MiB", 3.0, base_label="memcpy of 20 MiB")
    table.ratio("StartVexa to the first GetVariableCount reply (StopVexa untimed)", api,
                "BM_StartToFirstReply", api, "BM_SpawnEngineBinary",
                base_label="spawn + wait of StartXD refusing its command line")
    table.ratio("program block round trip: Submit of an empty TESTLANG block (both CPUs)", blocks,
                "BM_ProgramBlock/testlang", blocks, "BM_GetVariableCount", base_label="API round trip")
    table.ratio("program block round trip: Submit of a PYTHON block (pass) (both CPUs)", blocks,
                "BM_ProgramBlock/python", blocks, "BM_GetVariableCount", base_label="API round trip")
    calls = blocks.get("BM_RoundTripSpread", {})
    for language, what in (("testlang", "an empty TESTLANG block"), ("python", "a PYTHON block (pass)")):
        spread = blocks.get(f"BM_ProgramBlockSpread/{language}", {})
        if "p99" in spread and "p99" in calls:
            p50, p99 = spread["p50"], spread["p99"]
            table.rows.append([f"1,000 program blocks in a row, {what}: p50 / p99 per block (both CPUs)",
                               f"{duration(p50)} / {duration(p99)}",
                               f"{duration(calls['p50'])} / {duration(calls['p99'])} (1,000 API round trips)",
                               f"{p99 / calls['p99']:.1f}x (p99)", "p99 ≤ 2 ms", "yes" if p99 <= 2e-3 else "**no**"])
        else:
            missing = f"BM_ProgramBlockSpread/{language}" if "p99" not in spread else "BM_RoundTripSpread"
            table.value(f"1,000 program blocks in a row, {what}: p50 / p99 per block",
                        why_missing(blocks, missing), "p99 ≤ 2 ms", None)
    table.ratio("GetVariableCount from Python through ctypes", python, "ctypes_GetVariableCount",
                python, "C_GetVariableCount", base_label="C loop, same process")
    table.ratio("GetVariableCount from Python through vexa.dictionary.variable_count()", python,
                "package_variable_count", python, "C_GetVariableCount", base_label="C loop, same process")

    table.ratio("vexa.data.read of 1,000,000 x 10 numeric into numpy arrays", python_data, "vexa_data_read",
                python_data, "C_read_all_values", 1.5, base_label="C cursor pass reading every value")
    table.ratio("the same read against the R package's vexa_read_data of the same data", python_data,
                "vexa_data_read", python_data, "R_vexa_read_data", 1.0, base_label="R package",
                absent="not run (no R)")
    table.ratio("vexa.data.to_pandas of the same data", python_data, "vexa_data_to_pandas", python_data,
                "vexa_data_read", 1.2, base_label="vexa.data.read")
    table.ratio("one new variable over 1,000,000 cases from numpy (vexa.data.write)", python_data,
                "vexa_data_write_one_variable", python_data, "C_write_one_variable", 2.0,
                base_label="the same write from C")
    table.ratio("ReadCursor iteration over 1,000,000 x 10 numeric", python_data, "ReadCursor_iteration",
                python_data, "ReadCursor_iteration_ctypes_only", 0.2,
                base_label="the same iteration through ctypes only, as before the compiled part")

    notes = [f"Pinned to CPU {ROUND_TRIP_CPU}: every row but the program blocks, baselines included; "
             f"best of {REPETITIONS} repetitions."] + scaling(build, cursor)
    text = table.markdown()
    with open(os.path.join(bench, "benchtable.md"), "w") as out:
        out.write(text + "\n\n" + "\n".join(notes) + "\n")
    print()
    print(text)
    print()
    for line in notes:
        print(line)
    if FAILED:
        print("benchmark programs that failed: " + ", ".join(FAILED))
        sys.exit(1)


if __name__ == "__main__":
    main()
