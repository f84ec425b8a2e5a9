#!/usr/bin/env python3
"""Side-by-side TFTP benchmark on 127.0.0.1: ostrel-tftp (headless) against
tftpd-hpa, dnsmasq (TFTP only) and atftpd, the same scenarios against each,
one table of ratios ours/rival.

Run as root from the repository (installs the rivals with apt-get, and
dnsmasq can only serve TFTP on port 69):

    python3 bench/compare.py            # full run, a few minutes
    python3 bench/compare.py --quick    # fewer downloads per scenario

It builds bench/loadgen and ostrel-tftp into build-bench/, starts every
server on its own port, runs each scenario against each server in turn,
stops each server by its PID, prints a Markdown table and writes the raw
figures to build-bench/bench/results.json. Every step is bounded in count
and time; nothing leaves loopback.
"""

import argparse
import json
import os
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(TOP, "build-bench")
HOST = "127.0.0.1"
WRAP_SIZE = 65535 * 512 + 1000  # past the last 16-bit block number
CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def udp_port_taken(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.bind(("0.0.0.0", port))
            return False
        except OSError:
            return True


def raise_fd_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


# ---------------------------------------------------------------- setup

def ensure_packages(packages):
    missing = [p for p in packages
               if subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
                                 text=True).stdout.find("install ok installed") < 0]
    if not missing:
        return
    log("installing", " ".join(missing))
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "update", "-qq"], check=False)
    subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", *missing], check=True, env=env)


def unpack_atftpd(notes):
    """atftpd conflicts with tftpd-hpa as a package, so its binary is
    unpacked into build-bench/ and run from there instead of installed."""
    where = os.path.join(BUILD, "bench", "atftpd")
    binary = os.path.join(where, "x", "usr", "sbin", "atftpd")
    if os.path.exists(binary):
        return binary
    os.makedirs(where, exist_ok=True)
    got = subprocess.run(["apt-get", "download", "atftpd"], cwd=where, capture_output=True, text=True)
    debs = [f for f in os.listdir(where) if f.endswith(".deb")]
    if got.returncode != 0 or not debs:
        notes.append("atftpd skipped: apt-get download atftpd failed")
        return None
    subprocess.run(["dpkg-deb", "-x", os.path.join(where, debs[0]), os.path.join(where, "x")], check=True)
    if subprocess.run([binary, "--version"], capture_output=True).returncode not in (0, 1):
        notes.append("atftpd skipped: the unpacked binary does not run here")
        return None
    return binary


def build(targets):
    subprocess.run(["cmake", "-S", TOP, "-B", BUILD, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", *targets], check=True,
                   stdout=subprocess.DEVNULL)


def make_files(root):
    os.makedirs(root, exist_ok=True)
    sizes = {"f32m.bin": 32 << 20, "f1m.bin": 1 << 20, "f1000.bin": 1000, "wrap.bin": WRAP_SIZE}
    for name, size in sizes.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(os.urandom(size))
        os.chmod(os.path.join(root, name), 0o644)
    # The servers drop to an unprivileged user: everything must be world-readable.
    for d in (root, os.path.dirname(root)):
        os.chmod(d, 0o755)


# ---------------------------------------------------------------- servers

class server:
    def __init__(self, name, argv, port, work, stdout_name):
        self.name, self.argv, self.port, self.work = name, argv, port, work
        self.out = open(os.path.join(work, stdout_name), "wb")
        self.proc = subprocess.Popen(argv, stdout=self.out, stderr=subprocess.STDOUT, cwd=work,
                                     preexec_fn=raise_fd_limit)
        self.pid = self.proc.pid
        self.idle = None
        self.exit_code = None

    def alive(self):
        return self.proc.poll() is None

    def status(self):
        """VmRSS and VmHWM in KiB, open descriptors, CPU seconds (own and reaped children)."""
        values = {}
        with open(f"/proc/{self.pid}/status") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "VmHWM"):
                    values[key] = int(rest.split()[0])
        fds = len(os.listdir(f"/proc/{self.pid}/fd"))
        with open(f"/proc/{self.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        cpu = sum(int(x) for x in fields[11:15]) / CLK_TCK  # utime stime cutime cstime
        return {"rss_kib": values.get("VmRSS", 0), "hwm_kib": values.get("VmHWM", 0), "fds": fds, "cpu_s": cpu}

    def stop(self):
        if self.alive():
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(self.pid, signal.SIGKILL)
                self.proc.wait(timeout=10)
        self.exit_code = self.proc.returncode
        self.out.close()


def start_ours(binary, root, work, name="ostrel-tftp"):
    port = free_udp_port()
    ini = os.path.join(work, f"{name}.ini")
    with open(ini, "w") as f:
        f.write(f"[Server]\nRoot={root}\nLogFile={os.path.join(work, name + '.csv')}\n")
    return server(name, [binary, "--headless", "--port", str(port), "--settings", ini], port, work, f"{name}.out")


def start_tftpd_hpa(root, work):
    port = free_udp_port()
    return server("tftpd-hpa", ["/usr/sbin/in.tftpd", "--listen", "--foreground", "--address", f"{HOST}:{port}",
                                "--secure", root], port, work, "tftpd-hpa.out")


def start_dnsmasq(root, work, max_transfers):
    return server("dnsmasq", ["/usr/sbin/dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--port=0",
                              "--pid-file", f"--listen-address={HOST}", "--bind-interfaces", "--enable-tftp",
                              f"--tftp-root={root}", f"--tftp-max={max_transfers}",
                              f"--log-facility={os.path.join(work, 'dnsmasq.log')}"], 69, work, "dnsmasq.out")


def start_atftpd(binary, root, work, max_threads):
    port = free_udp_port()
    return server("atftpd", [binary, "--daemon", "--no-fork", "--port", str(port), "--bind-address", HOST,
                             "--maxthread", str(max_threads), "--logfile", os.path.join(work, "atftpd.log"), root],
                  port, work, "atftpd.out")


# ---------------------------------------------------------------- scenarios

def loadgen(binary, port, root, name, count, concurrency, deadline, watch=None):
    """Runs one scenario; while it runs, samples the watched server's RSS."""
    argv = [binary, "--host", HOST, "--port", str(port), "--file", name, "--local", os.path.join(root, name),
            "--count", str(count), "--concurrency", str(concurrency), "--deadline-s", str(deadline)]
    peak = 0
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                            preexec_fn=raise_fd_limit)
    limit = time.time() + deadline + 30
    while proc.poll() is None and time.time() < limit:
        if watch and watch.alive():
            try:
                peak = max(peak, watch.status()["rss_kib"])
            except OSError:
                pass
        time.sleep(0.02)
    if proc.poll() is None:
        proc.kill()
    out = proc.communicate()[0]
    try:
        r = json.loads(out.strip().splitlines()[-1])
    except (json.JSONDecodeError, IndexError):
        r = {"ok": 0, "failed": count, "mb_per_s": 0, "downloads_per_s": 0, "failures": {"no report": count}}
    r["server_peak_rss_kib"] = peak
    return r


def wait_until_serving(binary, s, root):
    deadline = time.time() + 10
    while time.time() < deadline and s.alive():
        r = loadgen(binary, s.port, root, "f1000.bin", 1, 1, 2)
        if r.get("ok") == 1:
            return True
        time.sleep(0.2)
    return False


def scenarios(quick):
    d = 4 if quick else 1
    return [
        # key, label, file, count, concurrency, measure
        ("a", "a. one 32 MiB download (MB/s)", "f32m.bin", 1, 1, "mb_per_s"),
        ("b1", "b. 1 MiB, N=1 (MB/s)", "f1m.bin", 4, 1, "mb_per_s"),
        ("b16", "b. 1 MiB, N=16 (MB/s)", "f1m.bin", 64 // d, 16, "mb_per_s"),
        ("b64", "b. 1 MiB, N=64 (MB/s)", "f1m.bin", 128 // d, 64, "mb_per_s"),
        ("b256", "b. 1 MiB, N=256 (MB/s)", "f1m.bin", 256, 256, "mb_per_s"),
        ("b1024", "b. 1 MiB, N=1024 (MB/s)", "f1m.bin", 1024, 1024, "mb_per_s"),
        ("c", "c. 1000 B, N=64, 2000 downloads (downloads/s)", "f1000.bin", 2000 // d, 64, "downloads_per_s"),
        ("d", "d. wrap file, 33,554,920 B (MB/s)", "wrap.bin", 1, 1, "mb_per_s"),
    ]


def fmt(value, r):
    text = f"{value:,.0f}" if value >= 100 else f"{value:.1f}"
    if r and r.get("failed"):
        text += f" ({r['failed']} failed)"
    return text


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="fewer downloads per scenario")
    ap.add_argument("--ours", help="the ostrel-tftp executable (default: build it into build-bench/)")
    ap.add_argument("--before", help="an earlier ostrel-tftp build, run beside ours to measure a change")
    ap.add_argument("--only", help="comma-separated scenario keys (a,b1,b16,b64,b256,b1024,c,d)")
    ap.add_argument("--servers", default="ostrel-tftp,tftpd-hpa,dnsmasq,atftpd")
    ap.add_argument("--repeat", type=int, default=3, help="runs of each single-download scenario (best kept)")
    ap.add_argument("--deadline", type=int, default=180, help="seconds per scenario and server")
    args = ap.parse_args()
    if os.geteuid() != 0:
        sys.exit("compare.py: run as root (apt-get, and dnsmasq's TFTP port 69)")

    notes = []
    wanted = args.servers.split(",")
    ensure_packages([p for p, n in (("tftpd-hpa", "tftpd-hpa"), ("dnsmasq-base", "dnsmasq")) if n in wanted])
    build(["loadgen"] + (["ostrel-tftp"] if "ostrel-tftp" in wanted and not args.ours else []))
    gen = os.path.join(BUILD, "bench", "loadgen")
    ours = os.path.abspath(args.ours) if args.ours else os.path.join(BUILD, "ostrel-tftp")
    if args.before:
        args.before = os.path.abspath(args.before)
    atftpd = unpack_atftpd(notes) if "atftpd" in wanted else None
    raise_fd_limit()

    work = tempfile.mkdtemp(prefix="ostrel-bench-")
    os.chmod(work, 0o755)
    root = os.path.join(work, "root")
    make_files(root)
    chosen = [s for s in scenarios(args.quick) if not args.only or s[0] in args.only.split(",")]
    max_n = max(s[4] for s in chosen)

    servers = []
    try:
        for name in wanted:
            if name == "ostrel-tftp":
                servers.append(start_ours(ours, root, work))
                if args.before:
                    servers.append(start_ours(args.before, root, work, "before"))
            elif name == "tftpd-hpa":
                servers.append(start_tftpd_hpa(root, work))
            elif name == "dnsmasq":
                if udp_port_taken(69):
                    notes.append("dnsmasq skipped: UDP port 69 is taken (stop the tftpd-hpa service?)")
                    continue
                servers.append(start_dnsmasq(root, work, 2 * max_n + 64))
            elif name == "atftpd" and atftpd:
                servers.append(start_atftpd(atftpd, root, work, 2 * max_n + 64))
        for s in list(servers):
            if not wait_until_serving(gen, s, root):
                notes.append(f"{s.name} skipped: it did not serve a test download")
                s.stop()
                servers.remove(s)
        time.sleep(0.5)
        for s in servers:
            s.idle = s.status()
            s.results = {}
            s.after = {}

        # Each scenario runs against every server in turn, so that drift on
        # the machine falls on all of them alike.
        for key, label, name, count, n, measure in chosen:
            for s in servers:
                if not s.alive():
                    continue
                before = s.status()
                # A single download is short and at the mercy of whatever else
                # runs on the machine: the best of a few runs is kept.
                tries = args.repeat if count == 1 else 1
                runs = [loadgen(gen, s.port, root, name, count, n, args.deadline, watch=s) for _ in range(tries)]
                r = max(runs, key=lambda x: (x.get("ok", 0), x.get(measure, 0)))
                r["runs"] = [x.get(measure, 0) for x in runs]
                r["server_peak_rss_kib"] = max(x.get("server_peak_rss_kib", 0) for x in runs)
                if s.alive():
                    r["cpu_s"] = round(s.status()["cpu_s"] - before["cpu_s"], 2)
                    r["rss_before_kib"] = before["rss_kib"]
                s.results[key] = r
                log(f"{key:6} {s.name:12} {r.get(measure, 0):10.1f} ok={r.get('ok')} failed={r.get('failed')} "
                    f"{r.get('failures') or ''}")
                time.sleep(0.3)
        time.sleep(1.0)  # let the servers finish their last ACKs and close
        for s in servers:
            s.after = s.status() if s.alive() else {}
    finally:
        for s in servers:
            s.stop()

    # ---------------------------------------------------------------- table
    rivals = [s for s in servers if s.name not in ("ostrel-tftp", "before")]
    mine = next((s for s in servers if s.name == "ostrel-tftp"), None)
    head = ["scenario"] + [s.name for s in servers] + [f"ours/{s.name}" for s in rivals if mine]
    if mine and rivals:
        head.append("ours/best rival")
    rows = []
    for key, label, name, count, n, measure in chosen:
        row = [label]
        for s in servers:
            r = s.results.get(key)
            row.append(fmt(r.get(measure, 0), r) if r else "-")
        if mine and key in mine.results:
            m = mine.results[key].get(measure, 0)
            values = []
            for s in rivals:
                v = s.results.get(key, {}).get(measure, 0) if s.results.get(key, {}).get("failed", 1) == 0 else 0
                values.append(v)
                row.append(f"{m / v:.2f}" if v else "n/a")
            best = max(values, default=0)
            if rivals:
                row.append(f"{m / best:.2f}" if best else "n/a")
        rows.append(row)

    def extra(label, fn):
        row = [label] + [fn(s) for s in servers]
        rows.append(row + [""] * (len(head) - len(row)))

    extra("CPU seconds, whole run", lambda s: f"{sum(r.get('cpu_s') or 0 for r in s.results.values()):.1f}")
    extra("RSS idle / peak (KiB)", lambda s: f"{s.idle['rss_kib']:,} / {s.after.get('hwm_kib', 0):,}")
    def growth(s):
        r = s.results.get("b1024", {})
        if "rss_before_kib" not in r:
            return "-"
        return f"{max(0, r['server_peak_rss_kib'] - r['rss_before_kib']) / 1024:.2f}"

    if any(k == "b1024" for k, *_ in chosen):
        extra("RSS growth per transfer at N=1024 (KiB)", growth)
    extra("open descriptors idle / after", lambda s: f"{s.idle['fds']} / {s.after.get('fds', '-')}")
    extra("stopped by SIGTERM, exit code", lambda s: str(s.exit_code))

    widths = [max(len(r[i]) for r in [head] + rows) for i in range(len(head))]
    line = lambda cells: "| " + " | ".join(c.ljust(w) for c, w in zip(cells, widths)) + " |"
    print(line(head))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line(r))
    notes.append(f"Single downloads (a, d): best of {args.repeat} runs; the others: one run.")
    notes.append("Ratios are taken against rivals whose run had no failed download; n/a otherwise.")
    notes.append("dnsmasq runs with --tftp-max and atftpd with --maxthread raised above the largest N; "
                 "CPU seconds include reaped child processes (tftpd-hpa forks one per transfer), "
                 "peak RSS is the main process's only.")
    for n in notes:
        print(f"- {n}")

    os.makedirs(os.path.join(BUILD, "bench"), exist_ok=True)
    with open(os.path.join(BUILD, "bench", "results.json"), "w") as f:
        json.dump({s.name: {"idle": s.idle, "after": s.after, "exit_code": s.exit_code, "results": s.results}
                   for s in servers}, f, indent=1)
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
