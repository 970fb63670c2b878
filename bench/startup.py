#!/usr/bin/python3
"""Times the real program under X beside a bare Qt window.

  bench/startup.py [build-dir] [--runs 10]  start-up to mapped window (median), the processor
                                          time it took, and resident memory
  bench/startup.py [build-dir] --idle 30  CPU used while idle over 30 s, beside
                                         a window that ticks a clock as ours does
  bench/startup.py [build-dir] --program /usr/bin/ombrix [--program build/bin/ombrix]
                                          the programs given (an installed one, say) in
                                          place of the build folder's, in the same run

Start-up is measured from process start to the MapNotify of the main window,
which the program maps only after its load step has filled in every fact.
CPU time is the scheduler's nanosecond count of every thread
(/proc/PID/task/*/schedstat): clock ticks miss a process that wakes briefly
once a second. The idle programs run side by side over the same interval.
Needs python3-xlib; starts its own Xvfb when DISPLAY is not set.
"""
import os
import statistics
import subprocess
import sys
import time

try:
    from Xlib import X, display as xdisplay
except ImportError:
    # Run by another interpreter (a virtual environment's, say): the
    # system's has the Debian package.
    if os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3") \
            and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise SystemExit("needs python3-xlib (apt-get install python3-xlib)")


def start_xvfb():
    if os.environ.get("DISPLAY"):
        return None
    # Xvfb picks a display no other server uses and writes its number to the
    # pipe, so that runs side by side do not meet on one display.
    read_end, write_end = os.pipe()
    # -noreset: the server keeps serving when its last client leaves, rather
    # than dropping the connections made while it resets.
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen", "0",
                             "1280x1024x24", "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        proc.kill()
        raise SystemExit("Xvfb did not start")
    disp = ":" + number
    os.environ["DISPLAY"] = disp
    for _ in range(100):
        try:
            xdisplay.Display(disp).close()
            return proc
        except Exception:
            time.sleep(0.05)
    proc.kill()
    raise SystemExit("Xvfb did not start")


def window_name(d, win):
    try:
        name = win.get_wm_name()
        if name:
            return name
        prop = win.get_full_property(d.intern_atom("_NET_WM_NAME"), 0)
        return prop.value.decode() if prop else ""
    except Exception:
        return ""


def time_to_map(cmd, title_prefix):
    d = xdisplay.Display()
    root = d.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = None
    deadline = t0 + 20
    while time.monotonic() < deadline and elapsed is None:
        while d.pending_events():
            ev = d.next_event()
            if ev.type == X.MapNotify and window_name(d, ev.window).startswith(title_prefix):
                elapsed = time.monotonic() - t0
                break
        if elapsed is None:
            time.sleep(0.0005)
    d.close()
    # The processor time spent to get there, which other programs' load
    # changes far less than the time on the clock.
    cpu = sum(thread_cpu_ns(proc.pid).values()) / 1e6 if elapsed is not None else None
    return proc, elapsed, cpu


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def thread_cpu_ns(pid):
    """Run time of each thread in nanoseconds, by thread id."""
    times = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                times[tid] = int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # the thread ended meanwhile
    return times


def idle_cpu(programs, seconds, settle=20.0):
    """Share of a core each program uses while idle, all measured at once.

    The settling time outlasts the processor library's clock sampler, which
    runs for 15 s after the load step's one question about the clock."""
    procs = []
    try:
        for label, cmd, prefix in programs:
            proc, elapsed, _ = time_to_map(cmd, prefix)
            procs.append(proc)
            if elapsed is None:
                raise SystemExit(f"{label}: no window mapped")
        time.sleep(settle)
        # Sampled twice a second, so a thread that ends in between still
        # counts up to its last sample.
        start = [thread_cpu_ns(p.pid) for p in procs]
        last = [dict(t) for t in start]
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))
            for seen, proc in zip(last, procs):
                seen.update(thread_cpu_ns(proc.pid))
        return [sum(ns - begin.get(tid, 0) for tid, ns in end.items()) / 1e9 / seconds
                for begin, end in zip(start, last)]
    finally:
        for proc in procs:
            proc.kill()
            proc.wait()


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    runs = int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 10
    if "--runs" in sys.argv:
        args.remove(str(runs))
    chosen = [sys.argv[i + 1] for i, a in enumerate(sys.argv[:-1]) if a == "--program"]
    for path in chosen:
        args.remove(path)
    build = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "build")
    bin_dir = os.path.join(build, "bin")
    chosen = chosen or [os.path.join(bin_dir, "ombrix")]
    programs = [("bare Qt window", [os.path.join(bin_dir, "bare_window")], "bare")]
    programs += [(path if len(chosen) > 1 else "ombrix", [path], "Ombrix for ") for path in chosen]
    xvfb = start_xvfb()
    held = None
    try:
        # An X server resets when its last client leaves and drops connections
        # made meanwhile: one connection held for the whole run prevents that
        # where the server is not ours.
        held = xdisplay.Display()
        if "--idle" in sys.argv:
            seconds = float(sys.argv[sys.argv.index("--idle") + 1])
            idle = [("ticking Qt window", [os.path.join(bin_dir, "ticking_window")], "ticking"),
                    programs[1]]
            shares = idle_cpu(idle, seconds)
            for (label, _, _), share in zip(idle, shares):
                print(f"{label:18s} idle CPU over {seconds:.0f} s: {100 * share:.3f} % of a core")
            floor, ours = shares
            print(f"ratio to the ticking floor: {ours / floor:.2f} (goal at most 1.25)")
            return
        # Runs alternate between the two programs so that drift in the
        # machine's load affects both alike.
        times = {label: [] for label, _, _ in programs}
        cpus = {label: [] for label, _, _ in programs}
        rss = {label: [] for label, _, _ in programs}
        for _ in range(runs):
            for label, cmd, prefix in programs:
                proc, elapsed, cpu = time_to_map(cmd, prefix)
                if elapsed is None:
                    proc.kill()
                    raise SystemExit(f"{label}: no window mapped")
                times[label].append(elapsed * 1000)
                cpus[label].append(cpu)
                time.sleep(1.0)
                rss[label].append(rss_kib(proc.pid) / 1024)
                proc.kill()
                proc.wait()
        for label, _, _ in programs:
            t = times[label]
            print(f"{label:16s} mapped: median {statistics.median(t):6.1f} ms "
                  f"(min {min(t):.1f}, max {max(t):.1f}), "
                  f"processor {statistics.median(cpus[label]):.1f} ms; "
                  f"resident {statistics.median(rss[label]):.1f} MB")
        floor = programs[0][0]
        for label, _, _ in programs[1:]:
            ratios = [statistics.median(m[label]) / statistics.median(m[floor])
                      for m in (times, cpus, rss)]
            print(f"ratio of medians, {label}: start-up {ratios[0]:.2f} "
                  f"(processor time {ratios[1]:.2f}), resident {ratios[2]:.2f} "
                  f"(goals at most 1.1)")
    finally:
        try:
            if held:
                held.close()
        except Exception:
            pass  # the server went first; ours is ended below all the same
        if xvfb:
            xvfb.kill()
            xvfb.wait()


if __name__ == "__main__":
    main()
