#!/usr/bin/env python3
"""SciPy's natural cubic spline as a peer of the library's interpolation (bench/df_eval.cpp runs it).

The same partitions as the C++ cases (nx = 1e3 and 1e6, uniform and non-uniform, the same smooth
function), scipy.interpolate.CubicSpline with bc_type="natural", and 1e6 sites uniform inside
the partition, random or sorted. Every round times each case once, in a shuffled order; the
median over the rounds is printed in ns per site, with the C++ rows' names.

    python3 bench/df_scipy.py --rounds 5
"""
import argparse
import random
import statistics
import sys
import time

try:
    import numpy as np
    from scipy.interpolate import CubicSpline
except ImportError:
    print("SciPy peer: numpy or SciPy is not installed (Debian packages python3-numpy, python3-scipy)",
          file=sys.stderr)
    sys.exit(1)


def spline(nx, uniform):
    s = np.arange(nx, dtype=np.float64) / (nx - 1)
    x = 10.0 * s if uniform else 10.0 * s * (0.6 + 0.4 * s)
    y = np.sin(x) + 0.1 * np.cos(7 * x)
    return CubicSpline(x, y, bc_type="natural"), x


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sites", type=int, default=1000000)
    ap.add_argument("--rounds", type=int, default=5)
    args = ap.parse_args()
    rng = np.random.default_rng(7)
    cases = {}
    for nx in (1000, 1000000):
        for uniform in (0, 1):
            cs, x = spline(nx, uniform)
            t = rng.uniform(x[0], x[-1], args.sites)
            for sorted_sites in (0, 1):
                sites = np.sort(t) if sorted_sites else t
                name = f"interpolate/nx:{nx}/uniform:{uniform}/sorted:{sorted_sites}/scipy"
                cases[name] = (lambda cs=cs, sites=sites: cs(sites))
    for fn in cases.values():  # warm-up
        fn()
    times = {name: [] for name in cases}
    order = list(cases)
    for _ in range(args.rounds):
        random.shuffle(order)
        for name in order:
            t0 = time.perf_counter()
            cases[name]()
            times[name].append(time.perf_counter() - t0)
    print(f"SciPy {__import__('scipy').__version__} CubicSpline(bc_type='natural'), median of {args.rounds} rounds:")
    for name in cases:
        print(f"{name:60s} {1e9 * statistics.median(times[name]) / args.sites:8.2f} ns/site")


if __name__ == "__main__":
    main()
