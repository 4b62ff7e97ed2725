#!/usr/bin/env python3
"""numpy's Generator(MT19937) as a peer of the continuous generators (bench/dist.cpp runs it).

Times one call of n values per distribution, in rounds: every round takes each distribution
once, in a shuffled order, and the median over the rounds is printed in ns per value, with the
same row names as the C++ cases (d/ double, s/ float where numpy has a float32 form).

    python3 bench/dist_numpy.py --n 1000000 --rounds 9
"""
import argparse
import random
import statistics
import sys
import time

try:
    import numpy as np
except ImportError:
    print("numpy peer: numpy is not installed (Debian package python3-numpy)", file=sys.stderr)
    sys.exit(1)


def cases(g, n):
    f32 = np.float32
    return {
        "d/Uniform": lambda: g.random(n),
        "s/Uniform": lambda: g.random(n, dtype=f32),
        "d/Gaussian": lambda: g.standard_normal(n),
        "s/Gaussian": lambda: g.standard_normal(n, dtype=f32),
        "d/Exponential": lambda: g.standard_exponential(n),
        "s/Exponential": lambda: g.standard_exponential(n, dtype=f32),
        "d/Laplace": lambda: g.laplace(0.0, 1.0, n),
        "d/Weibull": lambda: g.weibull(1.5, n),
        "d/Cauchy": lambda: g.standard_cauchy(n),
        "d/Rayleigh": lambda: g.rayleigh(1.0, n),
        "d/Lognormal": lambda: g.lognormal(0.0, 1.0, n),
        "d/Gumbel": lambda: g.gumbel(0.0, 1.0, n),
        "d/Gamma(0.5)": lambda: g.standard_gamma(0.5, n),
        "s/Gamma(0.5)": lambda: g.standard_gamma(0.5, n, dtype=f32),
        "d/Gamma(2.5)": lambda: g.standard_gamma(2.5, n),
        "s/Gamma(2.5)": lambda: g.standard_gamma(2.5, n, dtype=f32),
        "d/Beta(2.0,3.0)": lambda: g.beta(2.0, 3.0, n),
        "d/Beta(0.5,0.5)": lambda: g.beta(0.5, 0.5, n),
        "d/Beta(0.5,3.0)": lambda: g.beta(0.5, 3.0, n),
        "d/ChiSquare(4)": lambda: g.chisquare(4, n),
        "d/ChiSquare(5)": lambda: g.chisquare(5, n),
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--n", type=int, default=1000000)
    ap.add_argument("--rounds", type=int, default=9)
    args = ap.parse_args()
    g = np.random.Generator(np.random.MT19937(20261206))
    table = cases(g, args.n)
    for fn in table.values():  # warm-up
        fn()
    times = {name: [] for name in table}
    order = list(table)
    shuffle = random.Random(1)
    for _ in range(args.rounds):
        shuffle.shuffle(order)
        for name in order:
            t0 = time.perf_counter_ns()
            table[name]()
            times[name].append((time.perf_counter_ns() - t0) / args.n)
    print(f"numpy {np.__version__} Generator(MT19937), n = {args.n}, median of {args.rounds} interleaved rounds")
    for name in table:
        print(f"{name + '/numpy':<32} {statistics.median(times[name]):8.3f} ns/value")


if __name__ == "__main__":
    main()
