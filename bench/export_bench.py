"""vdrpack check on whole-machine registry exports: UTF-16 files as
regedit /e writes them, of 2,000, 8,000 and 200,000 keys, against decoding
the same file once with iconv. Each figure is the least processor time of a
few runs with the file in the page cache; the 200,000-key ratio is the one that counts
(goal: at most 4). Beside it, check's peak memory (its largest resident set)
against the export's own size (goal: no more). VDRPACK names another vdrpack
to measure (default: the host build's)."""
import os
import resource
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
VDRPACK = os.environ.get("VDRPACK", os.path.join(HERE, "..", "out", "build", "host", "tools", "vdrpack"))
SIZES = (2000, 8000, 200000)
RUNS = 3
GOAL = 4.0

INI = ("[RegPath]\r\nCount=1\r\nPath0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\n\r\n"
       "[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=http://127.0.0.1:9/patch/417\r\nCount=1\r\n"
       "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215\r\n")


def export(path, keys):
    """A machine's export as regedit /e writes it: every key once, each
    followed by the keys below it (vendors, their products, their
    components, with the values an installer leaves), the checked product
    among them. About `keys` keys."""
    products, components = 10, 49
    vendors = max(1, round(keys / (1 + products * (1 + components))))
    lines = ["Windows Registry Editor Version 5.00", ""]
    for v in range(vendors):
        vendor = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor%04d" % v
        lines += ["[%s]" % vendor, ""]
        for p in range(products):
            product = "%s\\Product%02d" % (vendor, p)
            lines += ["[%s]" % product, '"InstallDir"="C:\\\\Program Files\\\\Vendor%04d\\\\P%02d"' % (v, p), ""]
            for c in range(components):
                i = (v * products + p) * components + c
                lines += ["[%s\\Component%02d]" % (product, c),
                          '"InstallPath"="C:\\\\Program Files\\\\Vendor%04d\\\\bin"' % v,
                          '"Version"="%d.%d.%d"' % (i % 7, i % 13, i), '"Flags"=dword:%08x' % i,
                          '"Blob"=hex:%s' % ",".join("%02x" % ((i + b) & 0xFF) for b in range(16)), ""]
    lines += ["[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ombrel\\DiscStudio\\UserReg]",
              '"Prod_Name"="Ombrel Disc Studio"', '"Prod_Ver"="4.0"', "",
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ombrel\\DiscStudio\\BuildInfo]",
              '"SR_No"="OMS230910-01"', '"SR_Ver"="4.00.2215"', ""]
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
    return vendors * (1 + products * (1 + components)) + 2


def peak_memory(cmd):
    """cmd's largest resident set in bytes, read by a Python process of its
    own that runs it (so that no earlier child's peak counts)."""
    p = subprocess.run(["python3", "-c", "import resource, subprocess, sys; "
                        "subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL); "
                        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)"] + cmd,
                       capture_output=True, text=True)
    return int(p.stdout.strip()) * 1024


def best(cmd, limit):
    """The least processor time (user and system) of RUNS runs of cmd: on a
    machine others share, wall time measures them as much as us."""
    times = []
    for _ in range(RUNS):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        try:
            p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=limit)
        except subprocess.TimeoutExpired:
            return None
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if p.returncode not in (0, 10, 11, 12):  # a check's outcomes
            sys.exit("bench: %s failed (%d): %s" % (cmd[0], p.returncode, p.stderr.decode(errors="replace")))
        times.append((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))
    return min(times)


def main():
    if not os.path.exists(VDRPACK):
        sys.exit("bench: %s is missing: run make build-host" % VDRPACK)
    work = tempfile.mkdtemp(prefix="vdr-export-bench-")
    ratio = None
    try:
        ini = os.path.join(work, "patch.ini")
        with open(ini, "w", newline="") as f:
            f.write(INI)
        for keys in SIZES:
            reg = os.path.join(work, "state.reg")
            keys = export(reg, keys)
            mb = os.path.getsize(reg) / 1e6
            decode = best(["iconv", "-f", "UTF-16", "-t", "UTF-8", reg], 600)
            check = best([VDRPACK, "check", ini, "--registry", reg], 300)
            ratio = None if check is None else check / decode
            if check is None:
                print("%7d keys, %6.1f MB: check > 300 s (stopped), iconv %.3f s" % (keys, mb, decode))
                continue
            print("%7d keys, %6.1f MB: check %.3f s, iconv %.3f s (processor time), ratio %.2f" % (keys, mb, check, decode, ratio))
            memory = peak_memory([VDRPACK, "check", ini, "--registry", reg])
            print("%7d keys, %6.1f MB: check's peak memory %.1f MB, %.2f times the export's size (goal at most 1)"
                  % (keys, mb, memory / 1e6, memory / os.path.getsize(reg)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if ratio is None:
        print("export ratio (200,000 keys, check / iconv): not measured, check took too long (goal at most %.0f)"
              % GOAL)
    else:
        print("export ratio (200,000 keys, check / iconv): %.2f (goal at most %.0f)" % (ratio, GOAL))


if __name__ == "__main__":
    main()
