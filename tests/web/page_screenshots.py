"""Pictures of the dashboard page in headless Chromium: day and night, phone and desktop width, the
program polling the simulated station whose memory held four days of records at its start.
Usage: page_screenshots.py BUILD_DIR OUTPUT_DIR"""
import os
import shutil
import sys
import tempfile
import time

import web_support as web

build, folder = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)
program = web.Program(build, "sky=-25@0-1000,rh=55@0-1000,wind=8@0-1000,mag=19@0-1000,temp=6@0-1000,dry@0-1000",
                      sim_arguments=["--records", "6000", "--interval", "60"])
try:
    program.wait_for_reading(180)
    profile = tempfile.mkdtemp(prefix="orvanel-chromium-")
    driver = web.browser(profile=profile)
    try:
        for theme in ("day", "night", "dark"):
            for name, width, height in (("desktop", 1280, 1100), ("phone", 360, 1600)):
                driver.set_window_size(width, height)
                driver.get(program.base + "/")
                driver.execute_script("localStorage.setItem('orvanel-theme', arguments[0])", theme)
                driver.get(program.base + "/")
                start = time.time()
                web.wait_until(lambda: driver.execute_script("return Number(document.body.dataset.plotted || 0) > 0"), 30)
                driver.find_element("id", "range_7d").click()
                time.sleep(1.5)
                path = os.path.join(folder, "web-%s-%s.png" % (theme, name))
                driver.save_screenshot(path)
                print(path)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
finally:
    program.close()
