"""The dashboard in a real browser: headless Chromium on the page the program serves while it polls
the simulated station. Usage: browser_test.py BUILD_DIR"""
import os
import shutil
import sys
import tempfile
import time
import unittest

import web_support as web

BUILD = sys.argv.pop(1) if len(sys.argv) > 1 else "build"
# Clear, dry, calm, dark at first; rain from the second simulated minute.
SCENARIO = "sky=-25@0-1000,rh=40@0-1000,wind=3@0-1000,mag=19@0-1000,temp=4@0-1000,dry@0-1.5,rain@1.5-1000"


class DashboardInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.program = web.Program(BUILD, SCENARIO)
        try:
            cls.program.wait_for_reading()
        except Exception:
            cls.program.close()
            raise
        cls.profile = tempfile.mkdtemp(prefix="orvanel-chromium-")
        cls.driver = web.browser(profile=cls.profile)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.program.close()
        shutil.rmtree(cls.profile, ignore_errors=True)

    def open(self):
        web.requested_urls(self.driver)  # forget earlier requests
        self.driver.get(self.program.base + "/")
        self.assertTrue(web.wait_until(lambda: self.driver.execute_script(
            "return Number(document.body.dataset.plotted || 0) > 0"), 30), "no plot drawn")

    def text(self, element_id):
        return self.driver.execute_script("return document.getElementById(arguments[0]).textContent", element_id)

    def plot_range(self, plot="plot_sky"):
        return self.driver.execute_script(
            "const d = document.getElementById(arguments[0]).dataset;"
            "return [Date.parse(d.from) / 1000, Date.parse(d.to) / 1000, Number(d.count)]", plot)

    def test_page_loads_with_no_request_leaving_the_machine_and_shows_the_verdict(self):
        self.open()
        urls = web.requested_urls(self.driver)
        self.assertTrue(urls)
        outside = [u for u in urls if not u.startswith(self.program.base + "/")]
        self.assertEqual(outside, [])
        _, current = self.program.get("/api/current")
        verdict = current["verdict"]
        self.assertEqual(self.text("verdict"), verdict["text"])
        reasons = self.text("reasons")
        if verdict["safe"]:
            self.assertTrue(reasons)
        else:
            self.assertEqual(reasons, ", ".join(r["text"] for r in verdict["reasons"]))
        self.assertIn("banner " + ("safe" if verdict["safe"] else "unsafe"),
                      self.driver.find_element("id", "banner").get_attribute("class"))
        # The five states, the relay and the values with their units.
        for state in ("sky", "air", "rain", "wind", "light", "relay"):
            self.assertTrue(self.text("state-" + state).strip(), state)
        self.assertTrue(self.text("value-ambient").endswith(" °C"))
        self.assertEqual(self.driver.execute_script("return document.documentElement.lang"), "en")

    def test_a_new_reading_updates_values_and_plot_without_a_reload(self):
        self.open()
        self.driver.execute_script("window.notReloaded = true")
        _, before = self.program.get("/api/current")
        plotted = self.driver.execute_script("return Number(document.body.dataset.plotted)")
        end = self.plot_range()[1]
        # The next reading (every 20 s) reaches the page through the events.
        self.assertTrue(web.wait_until(lambda: self.program.get("/api/current")[1]["time"] != before["time"], 60))
        self.assertTrue(web.wait_until(lambda: self.driver.execute_script(
            "return Number(document.body.dataset.plotted)") > plotted, 30))
        self.assertTrue(self.driver.execute_script("return window.notReloaded === true"))
        self.assertGreater(self.plot_range()[1], end)  # the plots reach the new present
        _, after = self.program.get("/api/current")
        self.assertTrue(web.wait_until(
            lambda: self.text("value-sky") == "%s %s" % (after["values"]["sky"]["text"], "°C"), 10),
            (self.text("value-sky"), after["values"]["sky"]))

    def test_range_buttons_change_the_plotted_range(self):
        self.open()
        for button, seconds in (("range_6h", 6 * 3600), ("range_7d", 7 * 86400), ("range_24h", 86400)):
            plotted = self.driver.execute_script("return Number(document.body.dataset.plotted)")
            self.driver.find_element("id", button).click()
            self.assertTrue(web.wait_until(lambda: self.driver.execute_script(
                "return Number(document.body.dataset.plotted)") > plotted, 20), button)
            start, end, _ = self.plot_range()
            self.assertAlmostEqual(end - start, seconds, delta=60, msg=button)
            self.assertIn("on", self.driver.find_element("id", button).get_attribute("class"))

    def plotted(self):
        return self.driver.execute_script("return Number(document.body.dataset.plotted || 0)")

    def test_zooming_again_and_again_stops_at_a_minute_and_a_refusal_is_shown(self):
        from selenium.webdriver.common.action_chains import ActionChains
        self.open()
        over = self.driver.find_element("css selector", "#plot_sky .u-over")
        # Each drag keeps a few pixels of the plot: a thousandth of the range, again and again.
        for _ in range(6):
            plotted = self.plotted()
            ActionChains(self.driver).move_to_element_with_offset(over, 0, 0).click_and_hold() \
                .move_by_offset(5, 0).release().perform()
            self.assertTrue(web.wait_until(lambda: self.plotted() > plotted, 20), "zoom not plotted")
            start, end, _ = self.plot_range()
            self.assertGreaterEqual(end - start, 59.9)
        self.assertEqual(self.text("historyError"), "")
        # A refused history request: the last plot stays, the page says why, the next one clears it.
        start, end, _ = self.plot_range()
        self.driver.execute_script(
            "window.realFetch = window.fetch;"
            "window.fetch = (url, o) => String(url).startsWith('/api/history') ? Promise.resolve(new Response("
            "'{\"error\":\"empty_range\",\"reason\":\"refused here\"}', {status: 400})) : realFetch(url, o);")
        self.driver.find_element("id", "range_6h").click()
        self.assertTrue(web.wait_until(lambda: "refused here" in self.text("historyError"), 20))
        self.assertIn("history not updated", self.text("historyError"))
        self.assertEqual(self.plot_range()[:2], [start, end])
        self.driver.execute_script("window.fetch = window.realFetch;")
        plotted = self.plotted()
        self.driver.find_element("id", "range_24h").click()
        self.assertTrue(web.wait_until(lambda: self.plotted() > plotted, 20))
        self.assertEqual(self.text("historyError"), "")

    def test_night_theme_has_no_green_or_blue_and_is_remembered(self):
        self.open()
        self.driver.find_element("css selector", "button[data-theme=night]").click()
        self.assertTrue(web.wait_until(lambda: self.driver.execute_script(
            "return document.documentElement.dataset.theme") == "night"))
        time.sleep(1)  # the plots drawn again in the night colours
        for width, height in ((1280, 900), (360, 740)):
            self.driver.set_window_size(width, height)
            time.sleep(0.5)
            shot = os.path.join(self.profile, "night-%d.png" % width)
            self.driver.save_screenshot(shot)
            coloured, red = web.green_or_blue_pixels(shot)
            self.assertEqual(coloured, 0, "pixels with green or blue at width %d" % width)
            self.assertGreater(red, 500, "nothing visible at width %d" % width)
        self.driver.set_window_size(1280, 900)
        self.open()
        self.assertEqual(self.driver.execute_script("return document.documentElement.dataset.theme"), "night")
        self.driver.find_element("css selector", "button[data-theme=day]").click()

    def test_phone_width_has_no_sideways_scrolling(self):
        self.driver.set_window_size(360, 740)
        try:
            self.open()
            overflow = self.driver.execute_script(
                "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
            self.assertLessEqual(overflow, 0)
        finally:
            self.driver.set_window_size(1280, 900)


class DashboardWithoutStationOrProgram(unittest.TestCase):
    """The page before any reading, with the station's line hung up, and with the program gone: each
    is said on the page and stays said."""

    def setUp(self):
        self.programs = []
        self.profile = tempfile.mkdtemp(prefix="orvanel-chromium-")
        self.driver = web.browser(profile=self.profile)

    def tearDown(self):
        self.driver.quit()
        for program in self.programs:
            program.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def start(self, sim_arguments=()):
        program = web.Program(BUILD, SCENARIO, sim_arguments=sim_arguments)
        self.programs.append(program)
        return program

    def text(self, element_id):
        return self.driver.execute_script("return document.getElementById(arguments[0]).textContent", element_id)

    def page_text(self, key):
        return self.driver.execute_script("return JSON.parse(document.getElementById('texts').textContent)[arguments[0]]",
                                          key)

    def test_before_the_first_reading_the_page_says_unsafe(self):
        program = self.start(sim_arguments=("--silent",))
        self.assertTrue(web.wait_until(lambda: self.answers(program, 503), 30))
        self.driver.get(program.base + "/")
        self.assertTrue(web.wait_until(lambda: self.text("reasons") == self.page_text("waiting"), 20))
        self.assertEqual(self.text("verdict"), self.page_text("unsafe"))
        self.assertEqual(self.text("age"), self.page_text("no_reading"))

    def test_a_lost_station_link_and_a_stopped_program_stay_on_the_page(self):
        program = self.start()
        program.wait_for_reading()
        self.driver.get(program.base + "/")
        self.assertTrue(web.wait_until(lambda: self.text("verdict") == self.page_text("unsafe")
                                       or self.text("verdict") == self.page_text("safe"), 20))
        # The station's line hangs up: the next reading finds it gone.
        program.sim.kill()
        program.sim.wait()
        self.assertTrue(web.wait_until(lambda: program.get("/api/current")[1]["link_lost"], 40, 1))
        _, current = program.get("/api/current")
        lost = [r["text"] for r in current["verdict"]["reasons"] if r["code"] == "link_lost"]
        self.assertEqual(len(lost), 1)
        self.assertTrue(web.wait_until(lambda: self.text("age") == self.page_text("link_lost"), 15),
                        self.text("age"))
        self.assertIn(lost[0], self.text("reasons"))
        # The program stops: the page says it lost the program, and keeps saying it.
        program.program.terminate()
        program.program.wait(30)
        self.assertTrue(web.wait_until(lambda: self.text("age") == self.page_text("offline"), 15),
                        self.text("age"))
        time.sleep(3)
        self.assertEqual(self.text("age"), self.page_text("offline"))

    @staticmethod
    def answers(program, status):
        try:
            return program.get("/api/current")[0] == status
        except OSError:
            return False


if __name__ == "__main__":
    unittest.main(verbosity=2)
