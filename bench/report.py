#!/usr/bin/python3
"""Times `ombrix --report` as a whole process beside peers, in the same run.

  bench/report.py [build-dir] [--runs 10]

Runs, alternating so that both see the same machine load:
  ombrix --report --format json --section summary   beside   lscpu
  ombrix --report --format json (every section)      beside   inxi -F
and prints the median wall time of each and the ratios (goals: the summary
at most 10 times lscpu; the full report at most a tenth of inxi -F).
No display is used: DISPLAY and WAYLAND_DISPLAY are removed.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time


def wall(cmd, env):
    t0 = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                   stdin=subprocess.DEVNULL, check=False)
    return time.perf_counter() - t0


def pair(a, b, runs, env):
    wall(a, env), wall(b, env)  # warm the page cache
    ta, tb = [], []
    for _ in range(runs):
        ta.append(wall(a, env))
        tb.append(wall(b, env))
    return statistics.median(ta), statistics.median(tb)


def main():
    args = sys.argv[1:]
    runs = 10
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    build = args[0] if args else "build"
    ombrix = os.path.join(build, "bin", "ombrix")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}

    summary = [ombrix, "--report", "--format", "json", "--section", "summary"]
    s, l = pair(summary, ["lscpu"], runs, env)
    print(f"summary report  {s * 1000:8.1f} ms   lscpu   {l * 1000:8.1f} ms   "
          f"ratio {s / l:5.2f} (goal <= 10)")

    if shutil.which("inxi"):
        full = [ombrix, "--report", "--format", "json"]
        f, i = pair(full, ["inxi", "-F"], runs, env)
        print(f"full report     {f * 1000:8.1f} ms   inxi -F {i * 1000:8.1f} ms   "
              f"ratio {f / i:5.3f} (goal <= 0.1)")
    else:
        print("inxi not installed: apt-get install inxi")


if __name__ == "__main__":
    main()
