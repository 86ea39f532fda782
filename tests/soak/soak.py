#!/usr/bin/env python3
"""A long run of the headless monitor against the simulated station under line faults.

The station (halvex-sim on a pseudo-terminal) loses, alters and mis-frames about 1 % of its answer
bytes, falls silent for a minute, and has its cable pulled for a while and plugged in again once
(its clock and memory going on, as a real station's do); like a real station it records in its
memory only while nobody polls it, here every 10 s. The monitor is restarted by SIGHUP or SIGTERM
in between, so each start downloads what the station recorded meanwhile, and the pulled cable makes
the running monitor reopen the port and download what was recorded while it was out. HTTP clients
poll the monitor's server all along, and the monitor publishes to an FTP server on loopback. At the
end it checks and prints:
  - every record the station wrote to its memory is in the history exactly once (none lost, no
    copies), and no date is held twice;
  - the uploads: how many, each file whole (the pictures as they were given, the page complete);
  - the resident memory of each run at its start, after its warm-up and at its end;
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
JPEG = os.path.join(HOME, "Documents/Halvex/Jpeg")
FTP_HOME = os.path.join(WORK, "ftp")
HTTP_PORT = 20000 + os.getpid() % 20000
WARM_UP = 60          # seconds of a run before its memory is taken as the base line
RSS_GROWTH_LIMIT_KB = 16 * 1024
MEMORY_INTERVAL = 10  # the station records every 10 s while nobody polls it (the monitor sets it)
IDLE = 30             # ... that is, once no order came for 30 s (the monitor reads every 20 s)
GAP = 60              # seconds the monitor stays away between two runs
PULLED = 90           # seconds the cable stays out
FTP_INTERVAL = 30     # seconds between two publications
PAGE = "orvanel.html"
PICTURES = ["last_WindSpeed.jpg", "last_SkyCloud.jpg", "last_SkyLight.jpg", "last_Humidity.jpg", "last_Temp.jpg",
            "last_WindDisplay.jpg", "last_overview.jpg"]

# Log lines that the injected faults explain (lost, altered, mis-framed or late answers, the silent
# minute, the pulled port).
FAULT_PATTERNS = re.compile(
    r"checksum|Pas de réponse|no answer|Erreur de lecture|Entete|Données|Discarded .* stale|"
    r"EEPROM read error|Back order|record skipped|Range check error|lost|reopen|COM|tty|"
    r"Invalid argument to date encode|retry|again|perdu|Weather reading failed|list ended|"
    r"Getting .* -> failed|Startup failed|Station link|Station clock not set|"
    # a restart in the middle of a download or of an upload
    r"retrieval stopped|Aborting|Callback aborted|"
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


def write_settings(ftp_port):
    """The monitor's settings: publishing to the loopback FTP server, the station's memory interval."""
    folder = os.path.join(HOME, ".config/Orvanel")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "registry.ini"), "w") as f:
        f.write("[Config]\n"
                f"InterVal_REC_EEP_sec={MEMORY_INTERVAL}\n"
                "[Webpublish]\n"
                "Enabled=Yes\n"
                f"Hostname=127.0.0.1:{ftp_port}\n"
                "Login=soak\n"
                "Pass=soak-pw\n"
                "RemotePath=/\n"
                "PassiveFTP=Yes\n"
                f"intervallSec={FTP_INTERVAL}\n"
                "IndexPage=Yes\n")


def write_pictures():
    """The published pictures: without a window the monitor sends those it finds in its folder (it
    makes the overview itself)."""
    from PIL import Image  # python3-pil
    os.makedirs(JPEG, exist_ok=True)
    for i, name in enumerate(PICTURES):
        Image.new("RGB", (320 + 40 * i, 200), (30 * i, 90, 200 - 20 * i)).save(os.path.join(JPEG, name), quality=90)


class FtpServer(threading.Thread):
    """pyftpdlib on loopback; counts what arrives whole and what arrives cut."""

    def __init__(self):
        super().__init__(daemon=True)
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler
        from pyftpdlib.servers import FTPServer
        import logging
        logging.basicConfig(level=logging.ERROR)
        os.makedirs(FTP_HOME, exist_ok=True)
        authorizer = DummyAuthorizer()
        authorizer.add_user("soak", "soak-pw", FTP_HOME, perm="elradfmw")
        owner = self
        self.received, self.incomplete = {}, 0

        class Handler(FTPHandler):
            def on_file_received(self, file):
                name = os.path.basename(file)
                owner.received[name] = owner.received.get(name, 0) + 1

            def on_incomplete_file_received(self, file):
                owner.incomplete += 1

        Handler.authorizer = authorizer
        self.server = FTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.address[1]

    def run(self):
        self.server.serve_forever(timeout=0.5, blocking=True, handle_exit=False)

    def stop(self):
        self.server.close_all()


class Station:
    def __init__(self, silent_minute, seed):
        # The silent minute falls in the station's own minutes, counted from its start.
        args = [os.path.join(BUILD, "halvex-sim"), "--link", LINK, "--seed", str(seed),
                "--interval", str(MEMORY_INTERVAL), "--idle", str(IDLE),
                "--lose", "0.004", "--corrupt", "0.004", "--bad-checksum", "0.002", "--short-answer", "0.001",
                "--long-length", "0.001", "--split", "2", "--record-log", RECORD_LOG,
                "--scenario", f"silent@{silent_minute}-{silent_minute + 1}"]
        self.log = open(os.path.join(WORK, "station.log"), "a")
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=self.log, env=env(), start_new_session=True)
        for _ in range(50):
            if os.path.exists(LINK):
                break
            time.sleep(0.1)

    def pull_cable(self):
        self.proc.send_signal(signal.SIGUSR1)

    def plug_cable(self):
        self.proc.send_signal(signal.SIGUSR2)

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

    def started_up(self, before):
        """The monitor has stored the station's memory and started its readings (`before`: the
        start-ups logged before this run)."""
        return startups_logged() > before

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


def startups_logged():
    """Start-ups completed so far, as the monitor's log tells them."""
    return sum(l.count("Startup complete") for path in glob.glob(os.path.join(LOGS, "*_log.txt"))
               for l in open(path, errors="replace"))


def day_seconds(t):
    """A local date and time as the history stores it: seconds from 30/12/1899."""
    return round((t - datetime.datetime(1899, 12, 30)).total_seconds())


def station_dates():
    if not os.path.exists(RECORD_LOG):
        return []
    return [day_seconds(datetime.datetime.strptime(line.strip(), "%Y-%m-%d %H:%M:%S")) for line in open(RECORD_LOG)]


def check_uploads(ftp, problems):
    """Every file on the FTP server whole: each picture a JPEG that decodes to its end, the page complete."""
    from PIL import Image  # python3-pil
    names = sorted(os.listdir(FTP_HOME))
    total = sum(ftp.received.values())
    print(f"soak: FTP: {total} files received whole ({ftp.incomplete} cut short), "
          f"{min(ftp.received.values(), default=0)} to {max(ftp.received.values(), default=0)} of each; "
          f"on the server: {', '.join(names)}")
    if total == 0:
        problems.append("no upload reached the FTP server")
    for name in PICTURES + [PAGE]:
        if name not in names:
            problems.append(f"{name} never reached the FTP server")
    for name in PICTURES:
        path = os.path.join(FTP_HOME, name)
        if not os.path.exists(path):
            continue
        data = open(path, "rb").read()
        try:
            with Image.open(path) as picture:
                picture.load()
                whole = picture.format == "JPEG" and data.startswith(b"\xff\xd8") and data.rstrip(b"\0").endswith(b"\xff\xd9")
        except OSError:
            whole = False
        if not whole:
            problems.append(f"{name} on the FTP server is not a whole JPEG ({len(data)} bytes)")
    page = os.path.join(FTP_HOME, PAGE)
    if os.path.exists(page):
        text = open(page, errors="replace").read()
        if not text.rstrip().endswith("</html>") or not all(p in text for p in PICTURES):
            problems.append(f"{PAGE} on the FTP server is not a whole page naming every picture")
    leftovers = [n for n in names if n.endswith(".part")]
    if leftovers:
        # An upload cut by a restart leaves its temporary file; the published name is never cut.
        print(f"soak: FTP: temporary files left by uploads cut short: {', '.join(leftovers)}")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(os.path.join(HOME, "run"), mode=0o700)
    deadline = time.monotonic() + MINUTES * 60
    run_length = max(90.0, MINUTES * 60 / 8)  # a restart every eighth of the soak, a run lasting at least 1.5 min

    ftp = FtpServer()
    ftp.start()
    write_settings(ftp.port)
    write_pictures()
    station = Station(silent_minute=2, seed=11)
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
            # The cable pulled and plugged in again once, half way through the second run.
            if len(runs) == 2 and not port_pulled and time.monotonic() - monitor.started > run_length / 2:
                port_pulled = True
                station.pull_cable()
                time.sleep(PULLED)
                station.plug_cable()
                end = max(end, time.monotonic() + 60)  # time to reopen and download
        sig = signals[len(runs) % 2]
        code = monitor.stop(sig) if monitor.proc.poll() is None else monitor.proc.returncode
        exits.append((monitor.number, signal.Signals(sig).name, code))
        if code != 0:
            problems.append(f"run {monitor.number} closed by {signal.Signals(sig).name} with status {code}")
        if time.monotonic() < deadline:
            time.sleep(GAP)  # the station records while nobody asks
    # A last run downloads what the station recorded during the last gap.
    before = startups_logged()
    monitor = Monitor(len(runs) + 1)
    runs.append(monitor)
    for _ in range(36):
        time.sleep(5)
        monitor.sample()
        if monitor.started_up(before):
            break
    else:
        problems.append(f"run {monitor.number} did not store the station's memory within 3 minutes")
    exits.append((monitor.number, "SIGTERM", monitor.stop(signal.SIGTERM)))
    # Records the station made after that are for a next run.
    last_close = day_seconds(datetime.datetime.now())
    clients.stopped.set()
    station.stop()
    ftp.stop()

    print(f"soak: {MINUTES:g} min, {len(runs)} runs of the monitor, exits {exits}")
    print(f"soak: HTTP answers by status {clients.answers}, {clients.refused} requests between runs")

    # Records: every memory record of the station exactly once in the history.
    produced = [d for d in station_dates() if d < last_close]
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

    check_uploads(ftp, problems)

    # Memory, descriptors and threads of each run after its warm-up.
    for m in runs:
        after = [s for s in m.samples if s[0] >= WARM_UP]
        if len(after) < 2:
            if m.samples:
                print(f"soak: run {m.number}: RSS {m.samples[0][1] // 1024} MB at {m.samples[0][0]:.0f} s, "
                      f"{m.samples[-1][1] // 1024} MB at {m.samples[-1][0]:.0f} s (no warm-up: too short)")
            continue
        rss = [s[1] for s in after]
        fds = [s[2] for s in after]
        threads = [s[3] for s in after]
        growth = rss[-1] - rss[0]
        print(f"soak: run {m.number}: RSS {m.samples[0][1] // 1024} MB at start, {rss[0] // 1024}->{rss[-1] // 1024} MB "
              f"after warm-up (growth {growth} kB over {after[-1][0] - after[0][0]:.0f} s), "
              f"fds {min(fds)}..{max(fds)}, threads {min(threads)}..{max(threads)}")
        if growth > RSS_GROWTH_LIMIT_KB:
            problems.append(f"run {m.number}: RSS grew by {growth} kB after warm-up")
        # An upload or a download holds a few more for a while: what must not rise is the floor.
        third = max(1, len(after) // 3)
        for what, values in (("open descriptors", fds), ("threads", threads)):
            early, late = min(values[:third]), min(values[-third:])
            if late - early > 2:
                problems.append(f"run {m.number}: {what} at rest went from {early} to {late}")

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
