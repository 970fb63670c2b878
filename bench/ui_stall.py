#!/usr/bin/python3
"""The longest stall of the user-interface thread while a service is stuck.

  bench/ui_stall.py [build-dir]

Starts a private CUPS scheduler, stops it with SIGSTOP and has build/bin/stall_probe
open the printers window and press "Refresh" against it; then has it type the
letter of a FUSE mount whose server never answers into the drive window. The
probe's 10 ms timer reports its longest gap, beside the gap the machine's own
load causes with nothing asked. The probe runs at a raised priority so that
other work on a busy machine counts less. Needs root (cupsd, mounts, nice).
"""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
probe = os.path.join(build, "bin", "stall_probe")
raised = ["nice", "-n", "-10"]
env = dict(os.environ, QT_QPA_PLATFORM=os.environ.get("QT_QPA_PLATFORM", "offscreen"))

with tempfile.TemporaryDirectory() as tmp:
    os.chmod(tmp, 0o755)
    for sub in ("spool", "cache", "state", "tmp", "log"):
        os.mkdir(os.path.join(tmp, sub))
    sock = os.path.join(tmp, "cups.sock")
    with open(os.path.join(tmp, "cupsd.conf"), "w") as f:
        f.write(f"Listen {sock}\nBrowsing No\nWebInterface No\nLogLevel warn\n")
    with open(os.path.join(tmp, "cups-files.conf"), "w") as f:
        f.write(f"ServerRoot {tmp}\nRequestRoot {tmp}/spool\nCacheDir {tmp}/cache\n"
                f"StateDir {tmp}/state\nTempDir {tmp}/tmp\nErrorLog {tmp}/log/error_log\n"
                f"AccessLog {tmp}/log/access_log\nPageLog {tmp}/log/page_log\n")
    cupsd = subprocess.Popen(["/usr/sbin/cupsd", "-f", "-c", f"{tmp}/cupsd.conf",
                              "-s", f"{tmp}/cups-files.conf"])
    try:
        for _ in range(150):
            try:
                with socket.socket(socket.AF_UNIX) as s:
                    s.connect(sock)
                break
            except OSError:
                time.sleep(0.1)
        else:
            sys.exit("cupsd did not start")
        os.kill(cupsd.pid, signal.SIGSTOP)
        print(f"cupsd {cupsd.pid} stopped (SIGSTOP)")
        subprocess.run(raised + [probe, "printers"], env=dict(env, CUPS_SERVER=sock), check=True)
    finally:
        os.kill(cupsd.pid, signal.SIGCONT)
        cupsd.terminate()
        cupsd.wait()

subprocess.run(raised + [probe, "drive"], env=env, check=True)
