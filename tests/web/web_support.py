"""The real program serving its dashboard, and a headless Chromium looking at it.

The program runs headless in a private home folder against the simulated station on a
pseudo-terminal; the browser is Debian's chromium driven by Selenium, with every host name except
the loopback made unresolvable and each request it makes recorded, so that a request leaving the
machine is seen.
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Program:
    """halvex-sim and orvanel --headless with its web server on a free loopback port."""

    def __init__(self, build, scenario, extra_settings=None, sim_arguments=(), home=None):
        self.build = build
        self.root = home or tempfile.mkdtemp(prefix="orvanel-web-")
        self.port = free_port()
        self.base = "http://127.0.0.1:%d" % self.port
        env = dict(os.environ)
        env.update({
            "HOME": self.root,
            "XDG_CONFIG_HOME": os.path.join(self.root, ".config"),
            "XDG_DATA_HOME": os.path.join(self.root, ".local", "share"),
            "XDG_RUNTIME_DIR": os.path.join(self.root, "run"),
            "QT_QPA_PLATFORM": "offscreen",
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.root, "no-bus"),
        })
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        config = os.path.join(env["XDG_CONFIG_HOME"], "Orvanel")
        os.makedirs(config)
        settings = {"Alpaca": {"DiscoveryPort": "0", "SafeDelayMin": "0"}}
        for group, values in (extra_settings or {}).items():
            settings.setdefault(group, {}).update(values)
        with open(os.path.join(config, "registry.ini"), "w") as f:
            for group, values in settings.items():
                f.write("[%s]\n" % group)
                for key, value in values.items():
                    f.write("%s=%s\n" % (key, value))
        self.tty = os.path.join(self.root, "halvex.tty")
        self.sim = subprocess.Popen(
            [os.path.join(build, "halvex-sim"), "--link", self.tty, "--scenario", scenario] + list(sim_arguments),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        for _ in range(100):
            if os.path.exists(self.tty):
                break
            time.sleep(0.05)
        self.errors = open(os.path.join(self.root, "stderr.txt"), "w+")
        self.program = subprocess.Popen(
            [os.path.join(build, "orvanel"), "--headless", "--port", self.tty,
             "--alpaca", "127.0.0.1:%d" % self.port],
            env=env, stdout=subprocess.DEVNULL, stderr=self.errors, start_new_session=True)

    def get(self, path):
        """(status, parsed JSON or text) of a GET."""
        try:
            with urllib.request.urlopen(self.base + path, timeout=10) as answer:
                body = answer.read().decode("utf-8")
                status = answer.status
                kind = answer.headers.get("Content-Type", "")
        except urllib.error.HTTPError as e:
            body = e.read().decode("utf-8")
            status = e.code
            kind = e.headers.get("Content-Type", "")
        return status, json.loads(body) if kind.startswith("application/json") else body

    def wait_for_reading(self, timeout=90):
        end = time.time() + timeout
        while time.time() < end:
            try:
                status, current = self.get("/api/current")
                if status == 200:
                    return current
            except (urllib.error.URLError, ConnectionError, socket.timeout):
                pass
            if self.program.poll() is not None:
                raise RuntimeError("the program ended: " + self.stderr())
            time.sleep(0.5)
        raise RuntimeError("no reading within %d s: %s" % (timeout, self.stderr()))

    def stderr(self):
        self.errors.flush()
        self.errors.seek(0)
        return self.errors.read()

    def close(self):
        for process in (self.program, self.sim):
            if process.poll() is None:
                process.send_signal(signal.SIGINT if process is self.sim else signal.SIGTERM)
                try:
                    process.wait(20)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.errors.close()
        shutil.rmtree(self.root, ignore_errors=True)


def browser(width=1280, height=900, profile=None):
    """Headless Chromium that can reach nothing but the loopback, its requests logged."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--hide-scrollbars", "--force-device-scale-factor=1",
                     "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
                     "--no-first-run", "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--disable-default-apps", "--window-size=%d,%d" % (width, height)):
        options.add_argument(argument)
    if profile:
        options.add_argument("--user-data-dir=" + profile)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_window_size(width, height)
    return driver


def requested_urls(driver):
    """Every URL the page asked for since the last call."""
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message.get("method") == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
    return urls


def wait_until(condition, timeout=30, step=0.2):
    end = time.time() + timeout
    while time.time() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def green_or_blue_pixels(png_path, threshold=24):
    """Pixels of a screenshot whose green or blue exceeds the threshold, and the red ones."""
    from PIL import Image
    image = Image.open(png_path).convert("RGB")
    coloured = red = 0
    for r, g, b in image.getdata():
        if g > threshold or b > threshold:
            coloured += 1
        elif r > 40:
            red += 1
    return coloured, red
