#!/usr/bin/python3
"""Benchmark of the Python package on arrays in memory: kavrix.topographic_index
against the same formula in NumPy (np.where for nodata and the least T and
S, np.tan, np.log), and against itself on one thread; with the peak memory
each takes beyond its result.

  PYTHONPATH=build/python /usr/bin/python3 scripts/bench_python.py [SIZE] [RUNS]

SIZE x SIZE Float64 arrays (default 4000), RUNS rounds (default 5), each
running every variant once; the median wall and CPU times are reported.
Peak memory is the rise of the process's peak resident set (VmHWM, reset
through /proc/self/clear_refs before each run) less the result's bytes;
tracemalloc's peak counts NumPy's allocations (not the engine's strips,
which come from C++).
"""

import statistics
import sys
import time
import tracemalloc

import numpy as np

import kavrix

CELLSIZE = 10.0
NODATA = -9999.0
DEGREE = 3.141592653 / 180  # kavrix's degree factor, as the tools use it


def numpy_index(a, t, s):
    """The cell rule in NumPy, as a NumPy user writes it."""
    none = (np.isnan(a) | np.isnan(t) | np.isnan(s) | (a == NODATA) | (t == NODATA)
            | (s == NODATA))
    with np.errstate(all="ignore"):
        area = (a + 1) * (CELLSIZE * CELLSIZE)
        q = area / np.where(t <= 0, 1e-8, t) / np.tan(np.where(s <= 1, 1.0, s) * DEGREE)
        return np.where(none, NODATA, np.log(q))


def resident_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def measure(run):
    """(wall s, cpu s, peak KiB beyond the result, tracemalloc peak KiB)."""
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")  # the peak resident set restarts from the current one
    before = resident_kib("VmRSS")
    tracemalloc.start()
    wall, cpu = time.perf_counter(), time.process_time()
    result = run()
    wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
    traced = tracemalloc.get_traced_memory()[1] - result.nbytes
    tracemalloc.stop()
    peak = resident_kib("VmHWM") - before - result.nbytes // 1024
    return result, (wall, cpu, peak, traced // 1024)


def main():
    size = int(sys.argv[1]) if len(sys.argv) > 1 else 4000
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    rng = np.random.default_rng(1)
    a, t, s = (np.empty((size, size)) for _ in range(3))
    rng.random(out=a)
    a *= 1e4
    rng.random(out=t)
    t *= 5
    rng.random(out=s)
    s *= 45
    for grid in (a, t, s):
        grid.ravel()[rng.integers(0, grid.size, grid.size // 100)] = NODATA
    threads = kavrix.usable_threads()
    variants = {
        "numpy": lambda: numpy_index(a, t, s),
        "kavrix": lambda: kavrix.topographic_index(a, t, s, CELLSIZE, a_nodata=NODATA,
                                                   t_nodata=NODATA, s_nodata=NODATA),
        "kavrix-1": lambda: kavrix.topographic_index(a, t, s, CELLSIZE, a_nodata=NODATA,
                                                     t_nodata=NODATA, s_nodata=NODATA, threads=1),
    }
    figures = {name: [] for name in variants}
    results = {}
    for run in range(runs):
        print(f"round {run + 1} of {runs}", file=sys.stderr)
        for name, variant in variants.items():
            results[name], figure = measure(variant)
            figures[name].append(figure)
            del results[name]  # one result alive at a time
    results = {name: variants[name]() for name in ("numpy", "kavrix", "kavrix-1")}
    same = (results["kavrix"].view(np.uint64) == results["kavrix-1"].view(np.uint64)).all()
    close = np.isclose(results["kavrix"], results["numpy"], rtol=1e-12, atol=1e-12).mean()
    identical = (results["kavrix"].view(np.uint64) == results["numpy"].view(np.uint64)).mean()

    def median(name, k):
        return statistics.median(f[k] for f in figures[name])

    print(f"\nkavrix.topographic_index on {size} x {size} float64 arrays in memory, "
          f"median of {runs} runs, {threads} usable threads")
    print(f"{'variant':<10} {'wall s':>8} {'cpu s':>8} {'peak extra MiB':>15} {'tracemalloc MiB':>16}")
    for name in variants:
        print(f"{name:<10} {median(name, 0):8.3f} {median(name, 1):8.3f} "
              f"{median(name, 2) / 1024:15.1f} {median(name, 3) / 1024:16.1f}")
    print("(peak extra: the peak resident set's rise beyond the result's "
          f"{results['kavrix'].nbytes / 2**20:.0f} MiB)")
    for num, den in (("numpy", "kavrix"), ("numpy", "kavrix-1"), ("kavrix-1", "kavrix")):
        print(f"{num}/{den:<9} wall {median(num, 0) / median(den, 0):5.2f}  "
              f"cpu {median(num, 1) / median(den, 1):5.2f}")
    print(f"threads 1 and {threads} give the same bytes: {bool(same)}; NumPy's SIMD tan and log "
          f"give the same double in {identical:.2%} of the cells, within 1e-12 in {close:.2%}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
