#!/usr/bin/python3
"""A collector agent that serves the metrics Ombrix reads with values chosen to hurt.

hostile_pmda.py MODE     run by a test's pmcd as a pipe agent (TestPmcd::Agents::Hostile)
hostile_pmda.py --pmns   prints its name space, for pmnsmerge

MODE is one of MODES below; "normal" serves plausible values to compare with.
"""
import sys
import time

DOMAIN = 473  # not used by PCP's own agents
U32, S32, U64, S64, DOUBLE, STRING = 1, 0, 3, 2, 5, 6
COUNTER, INSTANT, DISCRETE = 1, 3, 4
NONE, COUNT, BYTE, KBYTE = (0, 0, 0, 0, 0, 0), (0, 0, 1, 0, 0, 0), (1, 0, 0, 0, 0, 0), (1, 0, 0, 1, 0, 0)
MSEC, SEC, PER_USEC = (0, 1, 0, 0, 2, 0), (0, 1, 0, 0, 3, 0), (0, -1, 0, 0, 1, 0)

# What each mode serves, for the tests and for whoever drives this agent.
MODES = {
    "normal": "plausible values, counters rising",
    "long": "every string and three instance names of each domain a megabyte long",
    "empty": "empty strings and empty instance names",
    "badutf8": "instance names that are not UTF-8 (agents' string values cannot be)",
    "control": "control characters, line separators and backslashes in strings and names",
    "nan": "every number a double: NaN, +inf or -inf",
    "max": "every number the largest of its type",
    "zero": "every number zero",
    "negative": "every integer signed and negative, down to the smallest 64-bit one",
    "backwards": "counters that fall at every fetch",
    "many": "100,000 instances in every instance domain",
    "wide": "1,500 instances in every instance domain: more than a report keeps, fewer than a window",
    "repeated": "instance names repeated, some empty",
    "types": "strings where numbers belong, mem.physmem in bytes, network bytes in Kbyte",
    "changing": "descriptors that change type and units at every fetch",
    "slow": "the first fetch of mem.util.available answered after six seconds, longer than "
            "Ombrix waits",
}

# Instance domains (serial: default instance names) and metrics as PCP 6.0's Linux agent has them.
INDOMS = {0: ["cpu0", "cpu1"], 1: ["sda"], 3: ["lo", "eth0"], 17: ["lo", "eth0"],
          5: ["/dev/sda1"], 18: ["/run"], 9: ["000001 /sbin/init"]}
METRICS = [(n, U64, None, COUNTER, MSEC) for n in (
    "kernel.all.cpu.user", "kernel.all.cpu.nice", "kernel.all.cpu.sys", "kernel.all.cpu.idle",
    "kernel.all.cpu.wait.total", "kernel.all.cpu.intr", "kernel.all.cpu.steal")]
METRICS += [(n.replace(".all.", ".percpu."), t, 0, s, u) for n, t, i, s, u in METRICS]
METRICS += [
    ("kernel.percpu.intr", U64, 0, COUNTER, COUNT), ("kernel.all.intr", U64, None, COUNTER, COUNT),
    ("kernel.all.pswitch", U64, None, COUNTER, COUNT), ("kernel.all.nprocs", U32, None, INSTANT, NONE),
    ("kernel.all.runnable", U32, None, INSTANT, NONE), ("kernel.all.uptime", DOUBLE, None, INSTANT, SEC),
    ("hinv.ncpu", U32, None, DISCRETE, NONE), ("mem.physmem", U64, None, DISCRETE, KBYTE),
    ("mem.util.available", U64, None, INSTANT, KBYTE), ("mem.util.committed_AS", U64, None, INSTANT, KBYTE),
    ("mem.vmstat.pgfault", U64, None, COUNTER, COUNT), ("mem.vmstat.pgmajfault", U64, None, COUNTER, COUNT),
    ("mem.vmstat.pswpout", U64, None, COUNTER, COUNT),
    ("disk.dev.read_bytes", U64, 1, COUNTER, KBYTE), ("disk.dev.write_bytes", U64, 1, COUNTER, KBYTE),
    ("disk.dev.read", U64, 1, COUNTER, COUNT), ("disk.dev.write", U64, 1, COUNTER, COUNT),
    ("disk.dev.avactive", U32, 1, COUNTER, MSEC), ("network.interface.up", U32, 3, INSTANT, NONE),
    ("filesys.capacity", U64, 5, DISCRETE, KBYTE), ("filesys.free", U64, 5, INSTANT, KBYTE),
    ("filesys.avail", U64, 5, INSTANT, KBYTE), ("tmpfs.capacity", U64, 18, DISCRETE, KBYTE),
    ("tmpfs.free", U64, 18, INSTANT, KBYTE), ("hinv.cpu.clock", DOUBLE, 0, DISCRETE, PER_USEC),
    ("proc.nprocs", U32, None, INSTANT, NONE), ("proc.psinfo.pid", U32, 9, DISCRETE, NONE),
    ("proc.psinfo.utime", U64, 9, COUNTER, MSEC), ("proc.psinfo.stime", U64, 9, COUNTER, MSEC),
    ("proc.psinfo.rss", U64, 9, INSTANT, KBYTE), ("proc.psinfo.vsize", U64, 9, INSTANT, KBYTE),
    ("proc.psinfo.threads", U32, 9, INSTANT, NONE)]
METRICS += [("network.interface.%s.%s" % (d, k), U64, 3, COUNTER, BYTE if k == "bytes" else COUNT)
            for d in ("in", "out") for k in ("bytes", "packets")]
METRICS += [(n, STRING, i, DISCRETE, NONE) for n, i in (
    ("kernel.uname.release", None), ("kernel.uname.distro", None), ("kernel.uname.nodename", None),
    ("hinv.cpu.model_name", 0), ("hinv.cpu.vendor", 0), ("network.interface.inet_addr", 17),
    ("network.interface.ipv6_addr", 17), ("network.interface.hw_addr", 17),
    ("filesys.mountdir", 5), ("proc.psinfo.cmd", 9), ("pmcd.timezone", None), ("pmcd.zoneinfo", None))]


def pmns():
    """The name space as pmnsmerge reads it: one node per prefix, leaves DOMAIN:0:item."""
    tree = {}
    for item, (name, *_) in enumerate(METRICS):
        node = tree
        for part in name.split(".")[:-1]:
            node = node.setdefault(part, {})
        node[name.split(".")[-1]] = "%d:0:%d" % (DOMAIN, item)

    def write(path, node):
        print("%s {" % path)
        for key, sub in node.items():
            print("\t%s\t%s" % (key, sub) if isinstance(sub, str) else "\t" + key)
        print("}")
        for key, sub in node.items():
            if not isinstance(sub, str):
                write(key if path == "root" else path + "." + key, sub)
    write("root", tree)


def names(mode, serial):
    if mode in ("many", "wide"):
        count = 100000 if mode == "many" else 1500
        return ["%s%d" % (INDOMS[serial][0].rstrip("0"), i) for i in range(count)]
    if mode == "long":
        return [c * 1000000 for c in "abc"]
    if mode == "empty":
        return ["", ""]
    if mode == "badutf8":
        return [b"\xff\xfe eth", b"\xc3(\xa0\xa1", b"cpu\x80"]
    if mode == "control":
        return ["a\nb\\c", "\t\r\x1b[2J\x7f", "d\u2028e\u2029\\\\f"]
    if mode == "repeated":
        return ["eth0", "eth0", "", "", "eth0"]
    return INDOMS[serial]


def number(mode, typ, sem, item, inst, fetches):
    if mode == "nan":
        return (float("nan"), float("inf"), float("-inf"))[(item + inst) % 3]
    if mode == "max":
        return {U32: 2**32 - 1, U64: 2**64 - 1, DOUBLE: sys.float_info.max}[typ]
    if mode == "zero":
        return 0
    if mode == "negative":
        return -(2**63) if typ == S64 and item % 2 else -1 - item
    if sem == COUNTER:
        step = (fetches if mode != "backwards" else -fetches) * 1000 * (1 + item % 7 + inst % 5)
        return max(0, 10**9 + step + item)
    return 1000 + item + inst


def main():
    from pcp.pmda import PMDA, pmdaIndom, pmdaInstid, pmdaMetric, pmdaUnits
    import cpmapi
    import cpmda

    mode = sys.argv[1]
    agent = PMDA("hostile", DOMAIN)
    agent.connect_pmcd()  # before the slow part: pmcd waits three seconds for the first word
    indoms = {}
    for serial in INDOMS:
        insts = []
        for i, name in enumerate(names(mode, serial)):
            inst = pmdaInstid(i + 1, "")
            inst.i_name = name if isinstance(name, bytes) else name.encode()
            insts.append(inst)
        indoms[serial] = insts
        agent.add_indom(pmdaIndom(agent.indom(serial), insts))
    metrics = []
    for item, (name, typ, indom, sem, units) in enumerate(METRICS):
        if mode == "nan" and typ != STRING:
            typ = DOUBLE
        elif mode == "negative" and typ in (U32, U64):
            typ = S32 if typ == U32 else S64
        elif mode == "types" and name in ("mem.util.available", "kernel.all.cpu.user",
                                          "kernel.percpu.cpu.user", "disk.dev.read"):
            typ = STRING
        elif mode == "types" and name in ("mem.physmem", "network.interface.in.bytes"):
            units = BYTE if name == "mem.physmem" else KBYTE
        metric = pmdaMetric(agent.pmid(0, item), typ,
                            agent.indom(indom) if indom is not None else cpmapi.PM_INDOM_NULL,
                            sem, pmdaUnits(*units))
        metrics.append(metric)
        agent.add_metric(name, metric, "%s as this collector serves it" % name)
    state = {"fetches": 0}

    def fetch():
        state["fetches"] += 1
        if mode == "changing":  # the types and units flip at every fetch
            for item, metric in enumerate(metrics):
                if METRICS[item][1] != STRING:
                    metric.m_desc.type = U64 if state["fetches"] % 2 else STRING
                    metric.m_desc.units = pmdaUnits(*(BYTE if state["fetches"] % 2 else KBYTE))
            cpmda.set_need_refresh()

    def value(cluster, item, inst):
        name, typ, indom, sem, _ = METRICS[item]
        typ = metrics[item].m_desc.type
        if mode == "slow" and name == "mem.util.available" and not state.get("slept"):
            state["slept"] = time.sleep(6) or True
        if indom is None:
            inst = 0
        elif not 0 < inst <= len(indoms[indom]):
            return [cpmapi.PM_ERR_INST, 0]
        if typ == STRING:
            text = {"long": "x" * 1000000, "empty": "", "control": "\x01a\nb\\c\x1b[2J\u2028"}
            return [text.get(mode, "%s %d" % (name, inst)) if name != "pmcd.timezone" or mode
                    in text else "UTC", 1]
        if name == "proc.psinfo.pid" and mode not in ("nan", "max", "zero", "negative"):
            return [inst, 1]
        result = number(mode, typ, sem, item, inst, state["fetches"])
        return [float(result) if typ == DOUBLE else result, 1]

    agent.set_fetch(fetch)
    agent.set_fetch_callback(value)
    agent.run()


if __name__ == "__main__":
    if sys.argv[1:] == ["--pmns"]:
        pmns()
    elif len(sys.argv) == 2 and sys.argv[1] in MODES:
        main()
    else:
        sys.exit("usage: hostile_pmda.py --pmns | MODE\nmodes:\n" +
                 "\n".join("  %-10s %s" % m for m in MODES.items()))
