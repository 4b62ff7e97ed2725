#!/usr/bin/python3
# (Debian's interpreter by path: python3-matplotlib and python3-numpy are installed for it, and a
# python3 earlier on PATH, such as a pyenv shim, may have neither.)
"""The accuracy and speed report: docs/report/README.md and its PNG plots.

    tools/report.py --build build/release [--count N] [--quick]   run, keep the raw outputs, write
    tools/report.py --redraw                                       write again from the raw outputs
    tools/report.py --selftest                                     the hand-made fixture, drawn into
                                                                   a temporary folder and checked

./zorp report installs the packages, builds and then runs the first form. Every program's own
output is kept under docs/report/raw/ as it was printed (the accuracy tool's and the vector-math
harness's Markdown tables, Google Benchmark's JSON, numpy's text) with machine.json, which holds
the machine, the date and the exact commands, so the report can be redrawn without running
anything. Speed is only ever measured on a processor with AVX-512: on one without it the library
runs only as the emulated build (AVX-512 intrinsics carried out on AVX2), whose timings say
nothing about the library, so the report then has the accuracy alone and says why.
"""
import argparse
import datetime
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "docs", "report")
FIXTURE = os.path.join(ROOT, "tools", "report_fixtures")

NO_SPEED = ("This processor lacks AVX-512 (F, DQ, BW and VL), which every kernel of the library "
            "needs, so the release build cannot run here: the accuracy below comes from the "
            "emulated build (AVX-512 intrinsics carried out on AVX2), and the speed sections are "
            "left out, since the timings of an emulated build say nothing about the library's speed.")

# The Google Benchmark binaries the speed sections read, each saved as raw/<name>.json.
GBENCH = ["rng", "quasi", "dist", "stats", "stats_quantiles", "df", "df_eval"]
# The binary whose scaling case (the only Google Benchmark case the report takes from the
# vector-math suites; their speed comes from the side-by-side harness).
VM_SCALING = "vm_explog"


# ==== running ====================================================================================

def has_avx512():
    """The kernel's view of the four AVX-512 subsets the library needs (as cmake/needs-avx512)."""
    try:
        with open("/proc/cpuinfo") as f:
            flags = next((line.split(":", 1)[1].split() for line in f if line.startswith("flags")), [])
    except OSError:
        return False
    return all(x in flags for x in ("avx512f", "avx512dq", "avx512bw", "avx512vl"))


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def git_commit():
    try:
        return subprocess.run(["git", "-C", ROOT, "describe", "--always", "--dirty"], capture_output=True,
                              text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


class Runner:
    """Runs each program with its output into a raw file and keeps the command as a shell would
    read it, relative to the source tree, for the report's list of what was run."""

    def __init__(self, raw):
        self.raw = raw
        self.commands = []
        self.failed = []  # the commands that exited non-zero

    def __call__(self, argv, out, env=None):
        shown = " ".join(f"{k}={v}" for k, v in (env or {}).items())
        shown = (shown + " " if shown else "") + shlex.join(os.path.relpath(a, ROOT) if os.path.isabs(a) else a
                                                           for a in argv)
        shown += " > " + os.path.relpath(os.path.join(self.raw, out), ROOT)
        print("report:", shown, flush=True)
        self.commands.append(shown)
        with open(os.path.join(self.raw, out), "w") as f:
            rc = subprocess.run(argv, stdout=f, cwd=ROOT, env={**os.environ, **(env or {})}).returncode
        if rc:
            self.failed.append(f"{shown} (exit status {rc})")
        return rc


def run_all(args):
    build = os.path.abspath(args.build)
    bin_dir = os.path.join(build, "bin")
    raw = os.path.join(args.out, "raw")
    shutil.rmtree(raw, ignore_errors=True)
    os.makedirs(raw)
    run = Runner(raw)
    if args.invocation:
        run.commands.append(args.invocation + "    # built " + os.path.relpath(build, ROOT) + ", then ran:")
    emulated = False
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            emulated = bool(re.search(r"^ZORP_EMULATE_AVX512:BOOL=ON$", f.read(), re.M))
    # Never time an emulated build, even on a processor that has AVX-512.
    speed = has_avx512() and not emulated and not args.no_speed
    count = args.count or (20000 if args.quick else 100000)

    # The accuracy tool exits 1 when a kernel misses its contract: the table still says which.
    run([os.path.join(bin_dir, "accuracy"), str(count)], "accuracy.md")

    if speed:
        rounds = 3 if args.quick else 7
        for name in sorted(os.listdir(bin_dir)):
            path = os.path.join(bin_dir, name)
            if not name.startswith("bench_vm_"):
                continue
            with open(path, "rb") as f:
                if b"--side-by-side" not in f.read():
                    continue  # only the suites on the shared harness
            run([path, "--side-by-side", f"--rounds={rounds}"], name[len("bench_"):] + ".md")
        # Medians over repetitions whose order is shuffled across the cases, so that a slow spell
        # of a shared machine does not land on one case alone.
        reps = 1 if args.quick else 5
        common = ["--benchmark_format=json", "--benchmark_min_time=" + ("0.05" if args.quick else "0.2")]
        if reps > 1:
            common += [f"--benchmark_repetitions={reps}", "--benchmark_enable_random_interleaving=true",
                       "--benchmark_report_aggregates_only=true"]
        for name in GBENCH:
            # The Python peers print after the JSON; the report runs numpy's on its own just after.
            env = {"ZORP_BENCH_NO_NUMPY": "1"} if name in ("dist", "df_eval") else None
            run([os.path.join(bin_dir, "bench_" + name)] + common, name + ".json", env)
            if name == "dist":
                python = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else "python3"
                run([python, os.path.join(ROOT, "bench", "dist_numpy.py"), "--n", "1000000",
                     "--rounds", str(max(3, reps))], "dist_numpy.txt")
        run([os.path.join(bin_dir, "bench_" + VM_SCALING), "--benchmark_filter=^scaling/"] + common,
            "vm_scaling.json")

    machine = {
        "cpu": cpu_model(),
        "cores": os.cpu_count(),
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "commit": git_commit(),
        "build": os.path.relpath(build, ROOT),
        "avx512": has_avx512(),
        "emulated": emulated,
        "speed": speed,
        "count": count,
        "quick": args.quick,
        "commands": run.commands,
        "failed": run.failed,
    }
    with open(os.path.join(raw, "machine.json"), "w") as f:
        json.dump(machine, f, indent=1)
        f.write("\n")


# ==== reading the raw outputs ====================================================================

def markdown_rows(path):
    """The rows of the first Markdown table in a file, as lists of cells (header and rule left out)."""
    with open(path) as f:
        return markdown_rows_of(f.read())


def markdown_rows_of(text):
    """The rows of the first Markdown table in a text (header and rule left out)."""
    rows, seen_table = [], False
    for line in text.splitlines():
        line = line.strip()
        if not line.startswith("|"):
            if seen_table:
                break
            continue
        seen_table = True
        cells = [c.strip() for c in line.strip("|").split("|")]
        if all(re.fullmatch(r"-+:?|:?-+:?", c) for c in cells):
            continue
        rows.append(cells)
    return rows[1:]  # the header


def read_accuracy(path):
    """accuracy's table: kernel | slots | class | max ulp | mean ulp | correct bits | correctly rounded | contract met."""
    out = []
    for c in markdown_rows(path):
        out.append({"kernel": c[0], "slots": c[1], "class": c[2], "max_ulp": float(c[3]),
                    "mean_ulp": float(c[4]), "bits": float(c[5]), "cr": c[6], "met": c[7]})
    return out


def read_side_by_side(path):
    """The harness's table: function | n | slot | zorp ticks/elem | fastest peer | its ticks/elem | ratio."""
    out = []
    for c in markdown_rows(path):
        row = {"fn": c[0], "n": int(c[1]), "slot": c[2], "ours": float(c[3]), "peer": None, "ratio": None}
        if c[6]:
            row["peer"], row["peer_ticks"], row["ratio"] = c[4], float(c[5]), float(c[6].rstrip("x"))
        out.append(row)
    return out


# Suffixes Google Benchmark adds to a case's name that are not its arguments.
_NOT_ARGS = re.compile(r"^(real_time|manual_time|iterations:\d+|repeats:\d+|threads:\d+|min_time:[\d.]+s?)$")
_TIME_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def read_gbench(path):
    """Google Benchmark's JSON as {run name: case}, each case with its base name (the name before
    the arguments), its arguments in order, its counters and its real time per iteration in ns.
    With repetitions the median is taken; cases that stopped with an error are left out."""
    with open(path) as f:
        doc = json.load(f)
    runs = {}
    for b in doc.get("benchmarks", []):
        if b.get("error_occurred"):
            continue
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        if name in runs and b.get("run_type") != "aggregate":
            continue  # a repetition after the first, when the medians are not reported alone
        runs[name] = b
    # In registration order: with random interleaving the file lists the repetitions shuffled.
    order = sorted(runs, key=lambda k: (runs[k].get("family_index", 0), runs[k].get("per_family_instance_index", 0)))
    cases = {}
    for name in order:
        b = runs[name]
        parts = [p for p in name.split("/") if not _NOT_ARGS.match(p)]
        base, args = [], []
        for p in parts:
            m = re.fullmatch(r"(?:[\w+.]+:)?(-?\d+)", p)
            if m and base:
                args.append(int(m.group(1)))
            elif not args:
                base.append(p)
        cases[name] = {"base": "/".join(base), "args": args, "b": b,
                       "real_ns": b["real_time"] * _TIME_NS[b.get("time_unit", "ns")]}
    return cases


def counter(case, key):
    v = case["b"].get(key)
    return float(v) if v is not None else None


def read_numpy(path):
    """dist_numpy.py's lines: '<d|s>/<Name>/numpy   <ns> ns/value'."""
    out = {}
    with open(path) as f:
        for line in f:
            m = re.match(r"^(\S+)/numpy\s+([\d.]+) ns/value", line)
            if m:
                out[m.group(1)] = float(m.group(2))
    return out


def load(raw):
    """Everything under raw/, each part None when its file is absent."""
    def path(name):
        p = os.path.join(raw, name)
        return p if os.path.exists(p) else None

    with open(os.path.join(raw, "machine.json")) as f:
        data = {"machine": json.load(f)}
    data["accuracy"] = read_accuracy(path("accuracy.md")) if path("accuracy.md") else None
    data["vm"] = {}
    for name in sorted(os.listdir(raw)):
        if name.startswith("vm_") and name.endswith(".md"):
            data["vm"][name[:-3]] = read_side_by_side(os.path.join(raw, name))
    data["unreadable"] = []
    for name in GBENCH + ["vm_scaling"]:
        data[name] = None
        if path(name + ".json"):
            try:
                data[name] = read_gbench(path(name + ".json"))
            except (ValueError, KeyError):  # a run cut short leaves half a JSON document
                data["unreadable"].append(name + ".json")
    data["numpy"] = read_numpy(path("dist_numpy.txt")) if path("dist_numpy.txt") else None
    return data


def read_long(long_dir):
    """The long runs kept beside the report (never rerun by it): the exhaustive single-precision
    record with the list of kernels it should cover, and dieharder's outputs, one per generator."""
    def path(name):
        p = os.path.join(long_dir, name)
        return p if os.path.exists(p) else None

    data = {"exhaustive": None, "kernels": None, "dieharder": {}, "generators": []}
    if path("exhaustive.md"):
        data["exhaustive"] = markdown_rows(path("exhaustive.md"))
    if path("exhaustive-kernels.txt"):
        with open(path("exhaustive-kernels.txt")) as f:
            data["kernels"] = [tuple(line.split()) for line in f if line.strip()]
    if path("dieharder"):
        if path(os.path.join("dieharder", "generators.txt")):
            with open(path(os.path.join("dieharder", "generators.txt"))) as f:
                data["generators"] = f.read().split()
        for name in sorted(os.listdir(path("dieharder"))):
            if name.endswith(".txt") and name != "generators.txt":
                data["dieharder"][name[:-4]] = read_dieharder(os.path.join(long_dir, "dieharder", name))
    return data


def read_dieharder(path):
    """dieharder's verdict lines: (test, its ntup, verdict); and whether the battery ran to its end."""
    verdicts = []
    with open(path) as f:
        for line in f:
            m = re.search(r"\|\s*(PASSED|WEAK|FAILED)\s*$", line)
            if m:
                v = line.split("|")
                verdicts.append((v[0].strip(), v[1].strip(), m.group(1)))
    # The battery closes with the monobit test on 12-bit blocks; a run cut short lacks it.
    return {"verdicts": verdicts, "finished": any(t == "dab_monobit2" for t, _, _ in verdicts)}


# ==== the report's pieces ========================================================================

def fmt(v, digits=2):
    return "" if v is None else f"{v:.{digits}f}"


def cell(c):
    """A table cell as Markdown reads it: a bare <double> would be taken for an HTML tag."""
    c = str(c)
    return c if c.startswith("`") else c.replace("<", "&lt;").replace("|", "\\|")


def table(header, rows):
    lines = ["| " + " | ".join(cell(c) for c in header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(cell(c) for c in r) + " |" for r in rows]
    return "\n".join(lines)


def bar_groups(ax, labels, series, xlabel):
    """Horizontal bars, one group per label and one bar per series ({name: [value or None]})."""
    import numpy as np
    n = len(series)
    height = 0.8 / max(n, 1)
    y = np.arange(len(labels))
    for k, (name, values) in enumerate(series.items()):
        vals = [v if v is not None else 0 for v in values]
        ax.barh(y + (k - (n - 1) / 2) * height, vals, height, label=name)
    ax.set_yticks(y)
    ax.set_yticklabels(labels, fontsize=8)
    ax.invert_yaxis()
    ax.set_xlabel(xlabel)
    ax.grid(axis="x", alpha=0.3)
    ax.legend(fontsize=7, loc="best")


def save(fig, out, name, pngs):
    fig.tight_layout()
    fig.savefig(os.path.join(out, name), dpi=110)
    import matplotlib.pyplot as plt
    plt.close(fig)
    pngs.append(name)
    return f"![{name}]({name})"


# ---- vector-math accuracy -------------------------------------------------------------------------

def accuracy_section(data):
    m, rows = data["machine"], data["accuracy"]
    text = ["## Vector-math accuracy", ""]
    if not rows:
        return text + ["The accuracy tool wrote no table.", ""]
    build = ("the emulated build" if m["emulated"] else "the release build") + " (`" + m["build"] + "`)"
    missed = [r for r in rows if r["met"] != "yes"]
    text += [f"Every kernel of every vector-math function built, measured by `accuracy {m['count']}` on {build}: "
             f"{m['count']:,} arguments spread over each function's range, half as many uniform, and as many "
             "of the function's extra sample, against MPFR. Errors in ulp of the result's precision; the "
             "contract is the accuracy class the slot promises (with its special values and statuses).", "",
             f"{len(rows)} kernels; {len(rows) - len(missed)} meet their contract"
             + (", these do not: " + ", ".join(f"{r['kernel']} ({r['slots']})" for r in missed) if missed else "")
             + ".", ""]
    text.append(table(["kernel", "slots", "contract", "worst ulp", "mean ulp", "correct bits", "correctly rounded",
                       "contract met"],
                      [[r["kernel"], r["slots"], r["class"], f"{r['max_ulp']:.3f}", f"{r['mean_ulp']:.4f}",
                        f"{r['bits']:.1f}", r["cr"], r["met"]] for r in rows]))
    return text + [""]


def exhaustive_section(data):
    """Every argument of each single-precision real kernel against the double HA kernel."""
    rows, kernels = data["long"]["exhaustive"], data["long"]["kernels"]
    text = ["## Single precision, every argument", ""]
    if not rows and not kernels:
        return text + ["No exhaustive run is recorded (`tools/exhaustive`).", ""]
    text += ["Each single-precision kernel of one real argument on all 2^32 arguments against the double "
             "HA kernel of the same function (itself below one double ulp), by `tools/exhaustive` "
             "(`accuracy --exhaustive NAME$ SLOT`, hours for the whole list, so never part of `./zorp report`; "
             "the column commit names a commit whose library has the bits each row measured). A correctly rounded kernel must "
             "round every argument; HA stays below 1 ulp, LA within 4, EP keeps 11 correct bits (below 2^13 "
             "ulp); NaN and infinity results must be where the reference has them.", ""]
    by_key = {(r[0], r[1]): r for r in rows or []}
    order = kernels or sorted(by_key)
    known = set(order)
    listed = [by_key[k] for k in order if k in by_key] + [r for k, r in by_key.items() if k not in known]
    missing = [f"{k[0]} ({k[1]})" for k in order if k not in by_key]
    failed = [f"{r[0]} ({r[1]})" for r in listed if r[8] != "yes"]
    text.append(f"{len(listed)} of {len(order)} kernels measured; "
                + (f"{len(failed)} miss their class: " + ", ".join(failed) if failed else "every one meets its class")
                + ".")
    if missing:
        text.append("Not yet measured: " + ", ".join(missing) + ".")
    text += ["", table(["kernel", "slots", "class", "max ulp", "at", "mean ulp", "correctly rounded",
                        "NaN / infinity mismatches", "class met", "commit"], listed), ""]
    return text


def quality_section(data):
    """dieharder's whole battery over each pseudo-random generator's raw words."""
    runs = data["long"]["dieharder"]
    text = ["## Generator quality (dieharder)", ""]
    if not runs:
        return text + ["No dieharder run is recorded (`tools/dieharder`).", ""]
    text += ["Each pseudo-random generator's 32-bit words (`raw_words NAME`, seed 20261207) through dieharder's "
             "whole battery, `dieharder -a -g 200`, by `tools/dieharder` (about half an hour per generator on "
             "a free core, so never part of `./zorp report`). A test is WEAK when its p-value falls outside "
             "[0.005, 0.995] and FAILED outside [1e-6, 1 - 1e-6]: a sound generator shows a WEAK verdict about "
             "once in a hundred by chance. The outputs are in [long/dieharder/](long/dieharder/); what the "
             "verdicts of the weak generators mean is in the architecture notes' figures "
             "(docs/figures.md, \"Random streams: statistical quality\").", ""]
    out = []
    for name, run in runs.items():
        v = run["verdicts"]
        count = {k: sum(1 for t in v if t[2] == k) for k in ("PASSED", "WEAK", "FAILED")}
        bad = [f"{t} ({n}): {k}" for t, n, k in v if k != "PASSED"]
        out.append([name + ("" if run["finished"] else " (run not finished)"), count["PASSED"], count["WEAK"],
                    count["FAILED"], "; ".join(bad) or "-"])
    missing = [g for g in data["long"]["generators"] if g not in runs]
    text += [table(["generator", "passed", "weak", "failed", "tests not passed"], out), ""]
    return text + (["Not yet run: " + ", ".join(missing) + ".", ""] if missing else [])


# ---- vector-math speed ----------------------------------------------------------------------------

# One marker and colour per slot, the same in every panel and plot.
SLOT_STYLE = {"LA": ("o", "C0"), "HA": ("s", "C1"), "EP": ("^", "C2"), "all": ("D", "C3")}


def vm_section(data, out, pngs):
    import matplotlib.pyplot as plt
    text = ["## Vector-math speed", "",
            "Each of our slots against the fastest peer of its accuracy class, timed side by side in "
            "interleaved rounds (bench/side_by_side.h): the ratio is the peer's time over ours, so above "
            "1.0 we are faster. Medians of time-stamp counter ticks per element, at n = 1,024 (in cache) "
            "and 1,000,000.", ""]
    for suite, rows in data["vm"].items():
        if not rows:
            continue
        text += [f"### {suite}", ""]
        ratios = [r for r in rows if r["ratio"]]
        below = [r for r in ratios if r["ratio"] < 1.0]
        text += [f"{len(ratios)} slot and size pairs with a peer; {len(below)} below 1.0x.", ""]
        text.append(table(["function", "n", "slot", "ticks/elem", "fastest peer", "its ticks/elem", "ratio"],
                          [[r["fn"], r["n"], r["slot"], fmt(r["ours"]), r["peer"] or "(none timed)",
                            fmt(r.get("peer_ticks")), (fmt(r["ratio"]) + "x") if r["ratio"] else ""]
                           for r in rows]))
        text.append("")
        if not ratios:
            continue
        functions = list(dict.fromkeys(r["fn"] for r in ratios))
        sizes = sorted({r["n"] for r in ratios})
        from matplotlib import ticker
        from matplotlib.lines import Line2D
        fig, axes = plt.subplots(1, len(sizes), figsize=(4.5 * len(sizes), max(2.8, 1.6 + 0.22 * len(functions))),
                                 sharex=True, sharey=True, squeeze=False)
        span = [r["ratio"] for r in ratios] + [1.0]
        for ax, n in zip(axes[0], sizes):
            for slot, (mark, colour) in SLOT_STYLE.items():
                pts = [(r["ratio"], functions.index(r["fn"])) for r in ratios if r["n"] == n and r["slot"] == slot]
                if pts:
                    ax.scatter([p[0] for p in pts], [p[1] for p in pts], marker=mark, color=colour, s=22)
            ax.axvline(1.0, color="grey", lw=1)
            ax.set_xscale("log", base=2)
            ax.set_xlim(min(span) / 1.3, max(span) * 1.3)
            ax.xaxis.set_major_formatter(ticker.FuncFormatter(lambda v, _: f"{v:g}x"))
            ax.xaxis.set_minor_formatter(ticker.NullFormatter())
            ax.set_title(f"n = {n:,}", fontsize=9)
            ax.set_xlabel("fastest peer's time / ours (right of 1x: ours faster)", fontsize=8)
            ax.grid(axis="x", alpha=0.3)
        axes[0][0].set_yticks(range(len(functions)))
        axes[0][0].set_yticklabels(functions, fontsize=7)
        axes[0][0].set_ylim(len(functions) - 0.5, -0.5)
        slots = [s for s in SLOT_STYLE if any(r["slot"] == s for r in ratios)]
        axes[0][-1].legend([Line2D([], [], ls="", marker=SLOT_STYLE[s][0], color=SLOT_STYLE[s][1]) for s in slots],
                           slots, fontsize=7, title="slot", title_fontsize=7, loc="lower right")
        fig.suptitle(f"{suite}: speed against the fastest peer of each slot's class", fontsize=10)
        text += [save(fig, out, f"vm_speed_{suite}.png", pngs), ""]
    return text


# ---- generators and distributions -----------------------------------------------------------------

def at_n(cases, base, n):
    for c in cases.values():
        if c["base"] == base and c["args"][:1] == [n]:
            return c
    return None


def generators_section(data, out, pngs):
    import matplotlib.pyplot as plt
    text = ["## Generators and distributions", ""]
    rng = data["rng"]
    if rng:
        n = 1000000
        gens = list(dict.fromkeys(c["base"].split("/", 1)[1] for c in rng.values() if c["base"].startswith("dBRng/")))
        rows = []
        for g in gens:
            vals = [counter(c, "ns/elem") if c else None for c in (at_n(rng, f"{k}BRng/{g}", n) for k in "ids")]
            rows.append([g] + [fmt(v, 3) for v in vals])
        peers = [c for c in rng.values() if c["base"].startswith("peer/") and c["args"][:1] == [n]]
        text += ["### Basic generators", "",
                 f"ns per value at n = {n:,} values per call (bench_rng): 32-bit words, doubles and floats on [0, 1).", "",
                 table(["generator", "words", "doubles", "floats"], rows), "",
                 "Peers in the same binary (C++ `<random>`, a scalar MRG32k3a, Random123's Philox):", "",
                 table(["peer", "ns per value"], [[c["base"][5:], fmt(counter(c, "ns/elem"), 3)] for c in peers]), ""]
        fig, axes = plt.subplots(1, 2, figsize=(10, 0.9 + 0.3 * max(len(gens), 4)))
        for ax, kind, peer_kind in ((axes[0], "d", "uniform_real"), (axes[1], "i", "raw")):
            labels, vals, colours = [], [], []
            for g in gens:
                c = at_n(rng, f"{kind}BRng/{g}", n)
                if c:
                    labels.append(g), vals.append(1e3 / counter(c, "ns/elem")), colours.append("C0")
            for c in peers:
                if peer_kind in c["base"] or (kind == "d" and "double" in c["base"]):
                    labels.append(c["base"][5:]), vals.append(1e3 / counter(c, "ns/elem")), colours.append("C1")
            ax.barh(range(len(labels)), vals, color=colours)
            ax.set_yticks(range(len(labels)))
            ax.set_yticklabels(labels, fontsize=7)
            ax.invert_yaxis()
            ax.set_xlabel("million values per second (higher is faster)")
            ax.set_title("doubles on [0, 1)" if kind == "d" else "32-bit words", fontsize=9)
            ax.grid(axis="x", alpha=0.3)
        fig.suptitle(f"Basic generators (blue) against peers (orange), n = {n:,}", fontsize=10)
        text += [save(fig, out, "generators.png", pngs), ""]

    dist, numpy = data["dist"], data["numpy"] or {}
    if dist:
        lib = [c for c in dist.values() if c["base"].endswith("/library") and not c["base"].startswith("scaling/")]
        names = list(dict.fromkeys(c["base"][: -len("/library")] for c in lib))

        def peer(name, who):
            # The library's Gaussian methods (Gaussian0, 1, 2) meet the peers' one Gaussian.
            key = re.sub(r"^([ds]/Gaussian)\d$", r"\1", name)
            if who == "numpy":
                return numpy.get(key)
            c = next((c for c in dist.values() if c["base"] == f"{key}/{who}"), None)
            return counter(c, "ns/value") if c else None

        ours = {c["base"][: -len("/library")]: counter(c, "ns/value") for c in lib}
        rows = [[nm, fmt(ours[nm], 3)] + [fmt(peer(nm, w), 3) for w in ("std", "gsl", "numpy")] for nm in names]
        text += ["### Distributions", "",
                 "ns per value at n = 1,000,000 values per call (bench_dist; numpy's Generator by "
                 "bench/dist_numpy.py right after it). d/ double, s/ float; the library draws from an MT19937 "
                 "stream, `<random>` from std::mt19937_64, GSL from its MT19937, numpy from its MT19937. An empty "
                 "cell: that peer has no such distribution or precision."
                 + ("" if data["numpy"] else " numpy was not measured in this run."), "",
                 table(["distribution", "library", "`<random>`", "GSL", "numpy"], rows), ""]
        dbl = [nm for nm in names if nm.startswith("d/")]
        fig, ax = plt.subplots(figsize=(8, 1 + 0.45 * len(dbl)))

        def rate(v):
            return 1e3 / v if v else None

        bar_groups(ax, [nm[2:] for nm in dbl],
                   {"library": [rate(ours[nm]) for nm in dbl],
                    "<random>": [rate(peer(nm, "std")) for nm in dbl],
                    "GSL": [rate(peer(nm, "gsl")) for nm in dbl],
                    "numpy": [rate(peer(nm, "numpy")) for nm in dbl]},
                   "million values per second (higher is faster)")
        ax.set_title("Distributions in double precision, n = 1,000,000", fontsize=10)
        text += [save(fig, out, "distributions.png", pngs), ""]

    quasi = data["quasi"]
    if quasi:
        rows = []
        for c in quasi.values():
            if c["base"] == "BM_GslSobol":
                continue
            d, coords = c["args"][:2]
            g = next((q for q in quasi.values() if q["base"] == "BM_GslSobol" and q["args"][:2] == [d, coords]), None)
            rows.append([c["base"].replace("BM_Library/", ""), d, f"{coords:,}", fmt(counter(c, "ns/coord"), 3),
                         fmt(counter(g, "ns/coord") if g else None, 3)])
        text += ["### Quasi-random generators", "",
                 "ns per coordinate of double-precision points (bench_quasi, process CPU time), against GSL's "
                 "Sobol generator (which stops at 40 dimensions: at 1,000 it draws 25 points of 40 for each).", "",
                 table(["generator", "dimensions", "coordinates per call", "ns per coordinate", "GSL Sobol"], rows), ""]
    return text


# ---- statistics and splines -----------------------------------------------------------------------

def stats_section(data, out, pngs):
    import matplotlib.pyplot as plt
    text = ["## Statistics and splines", "",
            "The peers in the binaries: for the basic statistics one streaming read of the data (the floor), "
            "straightforward two-pass loops and the host BLAS's syrk; for quantiles a std::nth_element loop; "
            "for spline construction a plain scalar implementation of the same spline and one streaming pass "
            "(the memory floor); for interpolation and integration GSL's gsl_spline and a plain loop.", ""]
    panels = []  # (title, labels, series, unit)
    st = data["stats"]
    if st:
        shapes = sorted({tuple(c["args"][:2]) for c in st.values() if c["base"] == "MeanVar"})
        labels = [f"p={p}, storage {s}" for p, s in shapes]
        who = ["MeanVar", "TwoPassMeanVar", "StreamRead", "Covariance", "HostSyrk", "TwoPassCovariance"]

        def get(base, shape):
            c = next((c for c in st.values() if c["base"] == base and tuple(c["args"][:2]) == shape), None)
            return counter(c, "ns/elem") if c else None

        rows = [[lab] + [fmt(get(w, sh), 3) for w in who] for lab, sh in zip(labels, shapes)]
        text += ["### Basic statistics", "",
                 "ns per element (one observation of one component), n = 1,000,000 observations of p components, "
                 "storage 1 component-major, 2 observation-major (bench_stats).", "",
                 table(["shape", "mean+variance", "two-pass loop", "streaming read", "covariance", "BLAS syrk",
                        "two-pass covariance"], rows), ""]
        panels.append(("Mean and variance", labels,
                       {"library": [get("MeanVar", s) for s in shapes],
                        "two-pass loop": [get("TwoPassMeanVar", s) for s in shapes],
                        "streaming read": [get("StreamRead", s) for s in shapes]}, "ns per element"))
        panels.append(("Covariance", labels,
                       {"library": [get("Covariance", s) for s in shapes],
                        "BLAS syrk": [get("HostSyrk", s) for s in shapes],
                        "two-pass loop": [get("TwoPassCovariance", s) for s in shapes]}, "ns per element"))
    q = data["stats_quantiles"]
    if q:
        def ms(base, arg):
            c = next((c for c in q.values() if c["base"] == base and c["args"][:1] == [arg]), None)
            return c["real_ns"] / 1e6 if c else None

        layouts = sorted({c["args"][0] for c in q.values() if c["base"] in ("Quantiles", "NthElementLoop")})
        text += ["### Quantiles", "",
                 "Five quantiles of p = 8 components of n = 1,000,000 observations, ms per call "
                 "(bench_stats_quantiles); layout 1 component-major, 2 observation-major.",
                 "", table(["layout", "library", "nth_element loop"],
                           [[lay, fmt(ms("Quantiles", lay)), fmt(ms("NthElementLoop", lay))] for lay in layouts]), ""]
    df = data["df"]
    if df:
        kinds = [("natural", "natural cubic, double"), ("akima", "Akima, double"), ("natural_float", "natural cubic, float")]
        labels, series = [], {"library": [], "scalar": [], "streaming pass": []}
        rows = []
        for base, title in kinds:
            shapes = sorted({tuple(c["args"][:2]) for c in df.values() if c["base"] == base}, reverse=True)
            for nx, ny in shapes:
                vals = []
                for which in range(3):
                    c = next((c for c in df.values() if c["base"] == base and c["args"] == [nx, ny, which]), None)
                    vals.append(counter(c, "ns/cell") if c else None)
                rows.append([title, f"{nx:,}", ny] + [fmt(v, 3) for v in vals])
                labels.append(f"{title}\nnx={nx:,} ny={ny}")
                for k, v in zip(series, vals):
                    series[k].append(v)
        text += ["### Spline construction", "", "ns per cell (bench_df).", "",
                 table(["spline", "nx", "ny", "library", "scalar", "streaming pass"], rows), ""]
        panels.append(("Spline construction", labels, series, "ns per cell"))
    ev = data["df_eval"]
    if ev:
        rows, labels, series = [], [], {"library": [], "GSL": [], "plain loop": []}
        shapes = sorted({tuple(c["args"][:3]) for c in ev.values() if c["base"] == "interpolate"})
        for nx, uni, srt in shapes:
            vals = []
            for peer in range(3):
                c = next((c for c in ev.values() if c["base"] == "interpolate" and c["args"] == [nx, uni, srt, peer]), None)
                vals.append(counter(c, "ns/item") if c else None)
            desc = f"nx={nx:,}, {'uniform' if uni else 'non-uniform'}, {'sorted' if srt else 'random'} sites"
            rows.append(["interpolation", desc] + [fmt(v, 3) for v in vals])
            labels.append(desc.replace(", ", "\n", 1))
            for k, v in zip(series, vals):
                series[k].append(v)
        for span in sorted({c["args"][0] for c in ev.values() if c["base"] == "integrate"}):
            vals = []
            for peer in range(2):
                c = next((c for c in ev.values() if c["base"] == "integrate" and c["args"] == [span, peer]), None)
                vals.append(counter(c, "ns/item") if c else None)
            rows.append(["integration", f"span of {span:,} cells"] + [fmt(v, 3) for v in vals] + [""])
        text += ["### Spline interpolation and integration", "",
                 "ns per site (interpolation, 1,000,000 sites) or per limit pair (integration, nx = 1,000,000) "
                 "(bench_df_eval).", "",
                 table(["operation", "case", "library", "GSL", "plain loop"], rows), ""]
        panels.append(("Interpolation", labels, series, "ns per site"))
    if panels:
        fig, axes = plt.subplots(len(panels), 1, figsize=(8, sum(1.2 + 0.5 * len(p[1]) for p in panels)), squeeze=False)
        for ax, (title, labels, series, unit) in zip(axes[:, 0], panels):
            bar_groups(ax, labels, series, unit + " (lower is faster)")
            ax.set_title(title, fontsize=9)
        text += [save(fig, out, "stats_splines.png", pngs), ""]
    return text


# ---- scaling with n --------------------------------------------------------------------------------

def scaling_section(data, out, pngs):
    import matplotlib.pyplot as plt
    lines = {}  # label -> [(n, ns per element)]
    for name in GBENCH + ["vm_scaling"]:
        for c in (data[name] or {}).values():
            if c["base"].startswith("scaling/") and c["args"]:
                n = c["args"][0]
                lines.setdefault(c["base"][len("scaling/"):], []).append((n, c["real_ns"] / n))
    if not lines:
        return []
    sizes = sorted({n for pts in lines.values() for n, _ in pts})
    rows = []
    for label, pts in lines.items():
        d = dict(pts)
        rows.append([label] + [fmt(d.get(n), 3) for n in sizes])
    text = ["## Scaling with n", "",
            "Wall time per element of one call on n elements (for the spline, per data point; for the "
            "statistics, per observation), one function of each family, from the scaling cases of "
            "bench_vm_explog, bench_rng, bench_dist, bench_stats and bench_df.", "",
            table(["function"] + [f"n = {n:.0e}".replace("e+0", "e") for n in sizes], rows), ""]
    fig, ax = plt.subplots(figsize=(7, 4.5))
    for label, pts in lines.items():
        pts.sort()
        ax.plot([p[0] for p in pts], [p[1] for p in pts], marker="o", label=label)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("n (elements per call)")
    ax.set_ylabel("ns per element")
    ax.grid(which="both", alpha=0.3)
    ax.legend(fontsize=8)
    ax.set_title("Cost per element against n", fontsize=10)
    text += [save(fig, out, "scaling.png", pngs), ""]
    return text


# ---- the whole --------------------------------------------------------------------------------------

def write_report(raw, out, long_dir=None):
    """Writes out/README.md and the PNGs from raw/ and the long runs (out/long/); returns the
    PNGs' names."""
    import matplotlib
    matplotlib.use("Agg")
    data = load(raw)
    data["long"] = read_long(long_dir or os.path.join(out, "long"))
    m = data["machine"]
    for name in os.listdir(out):
        if name.endswith(".png"):
            os.remove(os.path.join(out, name))  # a plot this run does not draw must not linger
    pngs = []
    text = ["# Accuracy and speed", "",
            "Written by `./zorp report` (tools/report.py) from the raw outputs in [raw/](raw/); "
            "`tools/report.py --redraw` writes it again from them.", ""]
    if m.get("fixture"):
        text += ["**This report is drawn from a hand-made fixture (tools/report_fixtures): its figures are "
                 "made up to exercise the report, not measured.**", ""]
    if not m["speed"]:
        if not m["avx512"]:
            text += ["**" + NO_SPEED + "**", ""]
        elif m["emulated"]:
            text += ["**The speed sections are left out: this is the emulated build, whose timings say nothing "
                     "about the library's speed.**", ""]
        else:
            text += ["**The speed sections are left out: this run timed nothing (`--no-speed`).**", ""]
    if m.get("quick"):
        text += [f"A quick run (`--quick`): the accuracy on {m['count']:,} arguments per range"
                 + (", short benchmark runs." if m["speed"] else "."), ""]
    text += ["## The machine", "",
             table(["", ""], [["processor", m["cpu"]], ["cores", m["cores"]],
                              ["AVX-512 (F, DQ, BW, VL)", "yes" if m["avx512"] else "no"],
                              ["date", m["date"]], ["commit", m["commit"]], ["build", "`" + m["build"] + "`"]]),
             "", "Commands run, from the top of the source tree:", "", "```"] + m["commands"] + ["```", ""]
    if m.get("failed"):
        text += ["These commands exited with a non-zero status (the accuracy tool does when a kernel misses its "
                 "contract; the table's last column says which):", ""] + [f"- `{c}`" for c in m["failed"]] + [""]
    if data["unreadable"]:
        text += ["These raw outputs could not be read and are left out: " + ", ".join(data["unreadable"]) + ".", ""]
    text += accuracy_section(data)
    text += exhaustive_section(data)
    if m["speed"]:
        text += vm_section(data, out, pngs)
        text += generators_section(data, out, pngs)
        text += stats_section(data, out, pngs)
        text += scaling_section(data, out, pngs)
    text += quality_section(data)
    with open(os.path.join(out, "README.md"), "w") as f:
        f.write("\n".join(text).rstrip() + "\n")
    return pngs


# ==== the self-test ===============================================================================

# What the fixture must produce: the sections, and the plots with the speed sections.
SECTIONS = ["## The machine", "## Vector-math accuracy", "## Vector-math speed", "## Generators and distributions",
            "### Distributions", "## Statistics and splines", "## Scaling with n"]
# Drawn from the long runs, with or without speed.
LONG_SECTIONS = ["## Single precision, every argument", "## Generator quality (dieharder)"]
SPEED_PNGS = {"vm_speed_vm_trig.png", "generators.png", "distributions.png", "stats_splines.png", "scaling.png"}


def selftest():
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as tmp:
        # With speed: every section and plot, and figures that can only come from parsing the fixture.
        raw = os.path.join(tmp, "speed", "raw")
        shutil.copytree(FIXTURE, raw)
        long_dir = os.path.join(FIXTURE, "long")
        pngs = write_report(raw, os.path.dirname(raw), long_dir)
        with open(os.path.join(os.path.dirname(raw), "README.md")) as f:
            md = f.read()
        for s in SECTIONS + LONG_SECTIONS:
            check(s + "\n" in md, f"section missing: {s}")
        check(set(pngs) == SPEED_PNGS, f"plots drawn: {sorted(pngs)}, expected {sorted(SPEED_PNGS)}")
        for p in SPEED_PNGS:
            path = os.path.join(os.path.dirname(raw), p)
            ok = os.path.exists(path) and os.path.getsize(path) > 2000
            if ok:
                with open(path, "rb") as f:
                    ok = f.read(8) == b"\x89PNG\r\n\x1a\n"
            check(ok, f"not a PNG: {p}")
            check(f"]({p})" in md, f"plot not linked: {p}")
        check(NO_SPEED not in md, "the no-AVX-512 sentence in a report with speed")
        # The fixture's figures, each through a different parser.
        check("| vdExp | HA | HA | 0.512 | 0.2500 | 52.9 | no | yes |" in md, "accuracy row")
        check("2 kernels; 1 meet their contract, these do not: vsBroken (LA)" in md, "accuracy summary")
        check("| vdSin | 1000000 | HA | 4.00 | sleef_u10 | 6.00 | 1.50x |" in md, "side-by-side row")
        check("| MT19937 | 0.400 | 0.800 | 0.600 |" in md, "generator row (JSON counters)")
        check("| d/Gaussian0 | 2.000 | 8.000 | 5.000 | 4.000 |" in md, "distribution row (JSON and numpy's text)")
        check("| p=8, storage 1 | 0.500 | 1.000 | 0.250 |" in md, "statistics row (median of repetitions)")
        check("| natural cubic, double | 1,000,000 | 1 | 3.000 | 9.000 | 2.000 |" in md, "spline row")
        check("| dExp HA | 2.000 | 1.000 | 1.500 |" in md, "scaling row (real time over n)")
        # The long runs: rows in the list's order, the kernel not yet run and the one off its class named.
        check(md.index("| vsExp | LA | LA | 4.250 |") < md.index("| vsExp | HA | HA | 0.572 |"), "exhaustive order")
        check("2 of 3 kernels measured; 1 miss their class: vsExp (LA)." in md, "exhaustive summary")
        check("Not yet measured: vsSqrt (LA+HA+EP)." in md, "exhaustive kernels not run")
        check("| Gen (run not finished) | 1 | 1 | 1 | diehard_operm5 (0): WEAK; diehard_rank_32x32 (0): FAILED |" in md,
              "dieharder row")
        check("Not yet run: Other." in md, "dieharder generators not run")

        # Without AVX-512: the accuracy alone, the sentence, and no plot.
        raw2 = os.path.join(tmp, "emulated", "raw")
        shutil.copytree(FIXTURE, raw2)
        with open(os.path.join(raw2, "machine.json")) as f:
            m = json.load(f)
        m.update(avx512=False, speed=False)
        with open(os.path.join(raw2, "machine.json"), "w") as f:
            json.dump(m, f)
        pngs = write_report(raw2, os.path.dirname(raw2), long_dir)
        with open(os.path.join(os.path.dirname(raw2), "README.md")) as f:
            md = f.read()
        check(NO_SPEED in md, "the no-AVX-512 sentence missing")
        for s in LONG_SECTIONS:
            check(s + "\n" in md, f"long-run section missing without AVX-512: {s}")
        check("## Vector-math accuracy" in md, "accuracy missing without AVX-512")
        check(not pngs and not [p for p in os.listdir(os.path.dirname(raw2)) if p.endswith(".png")],
              "plots drawn without AVX-512")
        for s in SECTIONS[2:]:
            check(s not in md, f"speed section without AVX-512: {s}")
    for f in failures:
        print("report self-test FAILED:", f)
    print(f"report self-test: {'failed' if failures else 'passed'}")
    return 1 if failures else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", help="the build folder whose bin/ has accuracy and the benchmarks")
    ap.add_argument("--count", type=int, help="arguments per range for the accuracy tool (default 100,000; "
                                              "20,000 with --quick; the tool's own default is 1,000,000)")
    ap.add_argument("--quick", action="store_true", help="a small accuracy count and short benchmark runs")
    ap.add_argument("--no-speed", action="store_true", help="run the accuracy tool only")
    ap.add_argument("--invocation", help="the command that ran this one (./zorp report ...), for the report's list")
    ap.add_argument("--out", default=OUT, help="where README.md, the PNGs and raw/ go (docs/report)")
    ap.add_argument("--redraw", action="store_true", help="write the report again from out/raw/ alone")
    ap.add_argument("--selftest", action="store_true", help="draw the fixture into a temporary folder and check it")
    args = ap.parse_args()
    if args.selftest:
        return selftest()
    args.out = os.path.abspath(args.out)
    if not args.redraw:
        if not args.build:
            ap.error("--build is needed to run (or --redraw, or --selftest)")
        run_all(args)
    pngs = write_report(os.path.join(args.out, "raw"), args.out)
    print(f"report: {os.path.relpath(os.path.join(args.out, 'README.md'), ROOT)}"
          + (f" and {len(pngs)} plots" if pngs else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
