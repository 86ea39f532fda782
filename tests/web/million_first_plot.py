"""How long the dashboard takes to draw its first plots in headless Chromium when the program holds
a million records (22 months, one record a minute or so). Prints the time from the start of the
page's navigation to the end of the first drawing of every plot, in milliseconds.
Usage: million_first_plot.py BUILD_DIR"""
import calendar
import datetime
import os
import shutil
import struct
import sys
import tempfile

import web_support as web

RECORDS = 1000000
MAGIC = 0xF78A1112
RECORD = struct.Struct("<d11fBBBIBBBdf")  # the 74-byte packed record of the month files


def delphi_date(t):
    return (t - datetime.datetime(1899, 12, 30)).total_seconds() / 86400


def write_history(folder, end):
    os.makedirs(folder, exist_ok=True)
    start = end - datetime.timedelta(days=660)
    step = (end - start) / RECORDS
    months = {}
    for i in range(RECORDS):
        t = start + step * i
        day = (t.hour - 14) / 12
        record = RECORD.pack(delphi_date(t), 2.1, -20 + (i % 100) / 10, 2.6, 8, 6 + day, 9, -26 + (i % 50) / 5,
                             60 + (i % 30), 1 + (i % 7) / 2, 3 + (i % 9), (i * 7) % 360, 1, 0, 8, i, 1, 1, 1,
                             2.5 + (i % 37) / 20, 12.4)
        months.setdefault((t.year, t.month), []).append(record)
    for (year, month), records in months.items():
        with open(os.path.join(folder, "%04d_%02d.bin" % (year, month)), "wb") as f:
            f.write(struct.pack("<Ii", MAGIC, len(records)))
            f.write(b"".join(records))


build = sys.argv[1]
home = tempfile.mkdtemp(prefix="orvanel-million-")
now = datetime.datetime.now().replace(microsecond=0)
write_history(os.path.join(home, "Documents", "Halvex", "Datas"), now - datetime.timedelta(minutes=2))
program = web.Program(build, "sky=-25@0-1000,rh=55@0-1000,dry@0-1000", home=home,
                      extra_settings={"Config": {"NbMonthtoLoad": "24"}})
try:
    program.wait_for_reading(240)
    _, history = program.get("/api/history?quantity=sky&columns=10")
    print("records held:", history["count"])
    profile = tempfile.mkdtemp(prefix="orvanel-chromium-")
    driver = web.browser(profile=profile)
    try:
        for button in (None, "range_all"):
            times = []
            for _ in range(3):
                driver.get(program.base + "/")
                if button:
                    # The whole history from the first drawing on.
                    driver.execute_script("localStorage.setItem('orvanel-theme', 'day')")
                web.wait_until(lambda: driver.execute_script("return document.body.dataset.firstPlotMs"), 60)
                times.append(int(driver.execute_script("return document.body.dataset.firstPlotMs")))
                if button:
                    before = driver.execute_script("return performance.now()")
                    plotted = driver.execute_script("return Number(document.body.dataset.plotted)")
                    driver.find_element("id", button).click()
                    web.wait_until(lambda: driver.execute_script(
                        "return Number(document.body.dataset.plotted)") > plotted, 60)
                    times[-1] = int(driver.execute_script("return performance.now()") - before)
            print("%s: %s ms" % ("first plots, 24 h" if not button else "all (a million records)", times))
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
finally:
    program.close()
