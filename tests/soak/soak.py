#!/usr/bin/env python3
"""A long run of the headless monitor against the simulated station under line faults.

The station (halvex-sim on a pseudo-terminal) loses, alters and mis-frames about 1 % of its answer
bytes, falls silent for a minute, and is pulled off and put back once; its memory records every few
seconds while the monitor is away, and the monitor is restarted by SIGHUP or SIGTERM in between, so
each start downloads what the station recorded meanwhile. HTTP clients poll the monitor's server
all along. At the end it checks and prints:
  - every record the station wrote to its memory is in the history exactly once (none lost, no
    copies), and no date is held twice;
  - the resident memory of each run after its warm-up, and its growth;
  - open descriptors and threads of each run, stable after warm-up;
  - the log: no error but those the injected faults explain.
Exit status 0 when every check holds.

Usage: soak.py BUILD_DIR MINUTES
"""
import datetime
import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import urllib.request

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
MINUTES = float(sys.argv[2] if len(sys.argv) > 2 else 60)
WORK = os.path.join(BUILD, "soak")
HOME = os.path.join(WORK, "home")
LINK = os.path.join(WORK, "halvex.tty")
RECORD_LOG = os.path.join(WORK, "station-records.txt")
DATA = os.path.join(HOME, "Documents/Halvex/Datas")
LOGS = os.path.join(HOME, "Documents/Halvex/Logs")
HTTP_PORT = 20000 + os.getpid() % 20000
WARM_UP = 60          # seconds of a run before its memory is taken as the base line
RSS_GROWTH_LIMIT_KB = 16 * 1024
MEMORY_INTERVAL = 5   # the station records every 5 s while the monitor is away
GAP = 30              # seconds the monitor stays away between two runs

# Log lines that the injected faults explain (lost, altered, mis-framed or late answers, the silent
# minute, the pulled port).
FAULT_PATTERNS = re.compile(
    r"checksum|Pas de réponse|no answer|Erreur de lecture|Entete|Données|Discarded .* stale|"
    r"EEPROM read error|Back order|record skipped|Range check error|lost|reopen|COM|tty|"
    r"Invalid argument to date encode|retry|again|perdu|Weather reading failed|list ended|"
    r"Getting .* -> failed|"
    # no sound server on a build machine
    r"PulseAudio|pa_context_connect",
    re.IGNORECASE)
ERROR_WORDS = re.compile(r"error|erreur|fail|échec|exception|abort|crash|refused|impossible", re.IGNORECASE)


def env():
    e = dict(os.environ)
    e.update(HOME=HOME, XDG_CONFIG_HOME=os.path.join(HOME, ".config"),
             XDG_DATA_HOME=os.path.join(HOME, ".local/share"), XDG_RUNTIME_DIR=os.path.join(HOME, "run"),
             QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    return e


class Station:
    def __init__(self, minutes_from_start, seed):
        # The silent minute falls in the station's own minutes, counted from its start.
        silent = "" if minutes_from_start is None else f"silent@{minutes_from_start}-{minutes_from_start + 1}"
        args = [os.path.join(BUILD, "halvex-sim"), "--link", LINK, "--seed", str(seed),
                "--interval", str(MEMORY_INTERVAL), "--idle", str(2 * MEMORY_INTERVAL),
                "--lose", "0.004", "--corrupt", "0.004", "--bad-checksum", "0.002", "--short-answer", "0.001",
                "--long-length", "0.001", "--split", "2", "--record-log", RECORD_LOG]
        if silent:
            args += ["--scenario", silent]
        self.log = open(os.path.join(WORK, "station.log"), "a")
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=self.log, env=env(), start_new_session=True)
        for _ in range(50):
            if os.path.exists(LINK):
                break
            time.sleep(0.1)

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=30)
        self.log.close()


class Monitor:
    def __init__(self, number):
        self.number = number
        self.out = open(os.path.join(WORK, f"monitor-{number}.log"), "w")
        self.proc = subprocess.Popen(
            [os.path.join(BUILD, "orvanel"), "--headless", "--port", LINK, "--alpaca", f"127.0.0.1:{HTTP_PORT}"],
            stdout=self.out, stderr=subprocess.STDOUT, env=env(), start_new_session=True)
        self.started = time.monotonic()
        self.samples = []  # (seconds since start, rss kB, fds, threads)

    def sample(self):
        try:
            status = open(f"/proc/{self.proc.pid}/status").read()
            rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
            threads = int(re.search(r"Threads:\s+(\d+)", status).group(1))
            fds = len(os.listdir(f"/proc/{self.proc.pid}/fd"))
        except (OSError, AttributeError):
            return
        self.samples.append((time.monotonic() - self.started, rss, fds, threads))

    def stop(self, sig):
        self.proc.send_signal(sig)
        try:
            code = self.proc.wait(timeout=90)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = "killed after 90 s"
        self.out.close()
        return code


class HttpClients(threading.Thread):
    PATHS = ["/management/apiversions", "/management/v1/configureddevices", "/indi/weatherwatcher.txt",
             "/weather/safety", "/"]

    def __init__(self):
        super().__init__(daemon=True)
        self.stopped = threading.Event()
        self.answers = {}
        self.refused = 0

    def run(self):
        i = 0
        while not self.stopped.wait(0.5):
            path = self.PATHS[i % len(self.PATHS)]
            i += 1
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{HTTP_PORT}{path}", timeout=10) as r:
                    self.answers[r.status] = self.answers.get(r.status, 0) + 1
            except urllib.error.HTTPError as e:
                self.answers[e.code] = self.answers.get(e.code, 0) + 1
            except OSError:
                self.refused += 1  # between two runs


def history_dates():
    """Dates (to the second) of every record in the month files, and of rejected.bin."""
    held, rejected = [], []
    for path in sorted(glob.glob(os.path.join(DATA, "*.bin"))):
        name = os.path.basename(path)
        if not re.fullmatch(r"\d{4}_\d{2}\.bin|rejected\.bin", name):
            continue
        data = open(path, "rb").read()
        into = rejected if name == "rejected.bin" else held
        for at in range(8, len(data) - 73, 74):
            (day,) = struct.unpack_from("<d", data, at)
            into.append(round(day * 86400))
    return held, rejected


def station_dates():
    if not os.path.exists(RECORD_LOG):
        return []
    base = datetime.datetime(1899, 12, 30)
    out = []
    for line in open(RECORD_LOG):
        t = datetime.datetime.strptime(line.strip(), "%Y-%m-%d %H:%M:%S")
        out.append(round((t - base).total_seconds()))
    return out


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(os.path.join(HOME, "run"), mode=0o700)
    deadline = time.monotonic() + MINUTES * 60
    run_length = max(90.0, MINUTES * 60 / 8)  # a restart every eighth of the soak, a run lasting at least 1.5 min

    station = Station(minutes_from_start=2, seed=11)
    clients = HttpClients()
    clients.start()
    runs, exits, problems = [], [], []
    port_pulled = False
    signals = [signal.SIGHUP, signal.SIGTERM]
    while time.monotonic() < deadline:
        monitor = Monitor(len(runs) + 1)
        runs.append(monitor)
        end = min(deadline, time.monotonic() + run_length)
        while time.monotonic() < end:
            time.sleep(5)
            monitor.sample()
            if monitor.proc.poll() is not None:
                problems.append(f"run {monitor.number} ended by itself with status {monitor.proc.returncode}")
                break
            # The port pulled and put back once, half way through the second run.
            if len(runs) == 2 and not port_pulled and time.monotonic() - monitor.started > run_length / 2:
                port_pulled = True
                station.stop()
                time.sleep(20)
                station = Station(minutes_from_start=None, seed=12)
        sig = signals[len(runs) % 2]
        code = monitor.stop(sig) if monitor.proc.poll() is None else monitor.proc.returncode
        exits.append((monitor.number, signal.Signals(sig).name, code))
        if code != 0:
            problems.append(f"run {monitor.number} closed by {signal.Signals(sig).name} with status {code}")
        if time.monotonic() < deadline:
            time.sleep(GAP)  # the station records while nobody asks
    # A last run downloads what the station recorded during the last gap.
    monitor = Monitor(len(runs) + 1)
    runs.append(monitor)
    time.sleep(45)
    monitor.sample()
    exits.append((monitor.number, "SIGTERM", monitor.stop(signal.SIGTERM)))
    clients.stopped.set()
    station.stop()

    print(f"soak: {MINUTES:g} min, {len(runs)} runs of the monitor, exits {exits}")
    print(f"soak: HTTP answers by status {clients.answers}, {clients.refused} requests between runs")

    # Records: every memory record of the station exactly once in the history.
    produced = station_dates()
    held, rejected = history_dates()
    counts = {}
    for d in held:
        counts[d] = counts.get(d, 0) + 1
    lost = [d for d in produced if counts.get(d, 0) == 0]
    copies = [d for d in produced if counts.get(d, 0) > 1]
    twice = sum(1 for n in counts.values() if n > 1)
    set_aside = sum(1 for d in produced if d in set(rejected))
    print(f"soak: station wrote {len(produced)} memory records; history holds {len(held)} records "
          f"({len(rejected)} in rejected.bin, {set_aside} of them the station's); "
          f"lost {len(lost)}, copied {len(copies)}, dates held twice {twice}")
    if lost:
        problems.append(f"{len(lost)} station records missing from the history, e.g. "
                        + ", ".join(str(datetime.datetime(1899, 12, 30) + datetime.timedelta(seconds=d))
                                    for d in lost[:5]))
    if copies or twice:
        problems.append(f"records held more than once: {len(copies)} of the station's, {twice} dates")

    # Memory, descriptors and threads of each run after its warm-up.
    for m in runs:
        after = [s for s in m.samples if s[0] >= WARM_UP]
        if len(after) < 2:
            continue
        rss = [s[1] for s in after]
        fds = [s[2] for s in after]
        threads = [s[3] for s in after]
        growth = rss[-1] - rss[0]
        print(f"soak: run {m.number}: RSS {rss[0] // 1024}->{rss[-1] // 1024} MB (growth {growth} kB over "
              f"{after[-1][0] - after[0][0]:.0f} s), fds {min(fds)}..{max(fds)}, threads {min(threads)}..{max(threads)}")
        if growth > RSS_GROWTH_LIMIT_KB:
            problems.append(f"run {m.number}: RSS grew by {growth} kB after warm-up")
        if max(fds) - min(fds) > 4:
            problems.append(f"run {m.number}: open descriptors went from {min(fds)} to {max(fds)}")
        if max(threads) - min(threads) > 4:
            problems.append(f"run {m.number}: threads went from {min(threads)} to {max(threads)}")

    # The log: errors only from the injected faults.
    lines = []
    for path in sorted(glob.glob(os.path.join(LOGS, "*"))) + sorted(glob.glob(os.path.join(WORK, "monitor-*.log"))):
        try:
            lines += [(os.path.basename(path), l.rstrip()) for l in open(path, errors="replace")]
        except OSError:
            pass
    errors = [(f, l) for f, l in lines if ERROR_WORDS.search(l)]
    unexplained = [(f, l) for f, l in errors if not FAULT_PATTERNS.search(l)]
    print(f"soak: log: {len(errors)} error lines, {len(unexplained)} not explained by the injected faults")
    for f, l in unexplained[:20]:
        print(f"  {f}: {l}")
    if unexplained:
        problems.append(f"{len(unexplained)} log errors not explained by the injected faults")

    for p in problems:
        print("soak: FAILED: " + p)
    print("soak: " + ("FAILED" if problems else "every check holds"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
