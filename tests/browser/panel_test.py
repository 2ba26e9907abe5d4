#!/usr/bin/env python3
"""The operator panel in a real headless browser, against the demo station.

Starts `nyxhost --demo --panel PORT`, loads the page and checks what an
operator would: the six demo sensors' lamps turn green, a decoder chosen in
its combo changes the kind of that port's records, unticking "Enable Comms"
turns the lamps grey and ticking it brings them back. Saves a screenshot.
"""
import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

SENSOR_PORTS = 6
PROBE_PORT = 5          # the speed-of-sound probe: " 1500.00" lines
SOS_KIND = 6            # its records with "Speed of Sound"
ANNOTATION_KIND = 16    # its records with "Annotate"
PROBE_TEXT = re.compile(r"^ 1[45]\d\d\.\d\d")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = check()
        if result:
            return result
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def records(path, start=0):
    """The records written after byte offset start."""
    with open(path, "rb") as f:
        f.seek(start)
        lines = f.read().decode("utf-8", "replace").splitlines()
    out = []
    for line in lines:
        try:
            out.append(json.loads(line))
        except ValueError:
            pass  # a line still being written
    return out


def lamp_states(driver):
    lamps = driver.find_elements(By.CSS_SELECTOR, '.lamp[data-window="Serial"]')
    return [lamp.get_attribute("data-state") for lamp in lamps]


def all_lamps(driver, state):
    states = lamp_states(driver)
    return len(states) == SENSOR_PORTS and all(s == state for s in states)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nyxhost", required=True)
    parser.add_argument("--screenshot", required=True)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nyx-panel-")
    record_path = os.path.join(work, "records.jsonl")
    port = free_port()
    url = "http://127.0.0.1:%d/" % port
    log = open(os.path.join(work, "nyxhost.log"), "w")
    host = subprocess.Popen([args.nyxhost, "--demo", "--panel", str(port), "--records", record_path, "--no-view"],
                            stdout=subprocess.DEVNULL, stderr=log)
    driver = None
    try:
        def answers():
            try:
                with urllib.request.urlopen(url + "api/panel", timeout=1) as res:
                    return res.status == 200
            except OSError:
                return False
        wait_for("nyxhost to serve its panel", answers, 15)

        options = Options()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1360,900",
                     "--user-data-dir=" + os.path.join(work, "profile")):
            options.add_argument(flag)
        service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
        driver = webdriver.Chrome(service=service, options=options)
        driver.get(url)
        assert driver.title.startswith("nyxhost"), driver.title

        # Every sensor's row has its lamp, and each turns green.
        wait_for("six green lamps, not %s" % lamp_states(driver), lambda: all_lamps(driver, "2"), 20)
        print("panel: six lamps green")

        # A decoder from its combo: the probe's readings become annotations.
        wait_for("speed-of-sound records", lambda: any(r["kind"] == SOS_KIND for r in records(record_path)), 10)
        mark = os.path.getsize(record_path)
        decode = driver.find_element(By.CSS_SELECTOR, 'select[data-label="Port %d Decode"]' % PROBE_PORT)
        Select(decode).select_by_visible_text("Annotate")

        def annotated():
            after = records(record_path, mark)
            for i, r in enumerate(after):
                if r["kind"] == ANNOTATION_KIND and PROBE_TEXT.match(r.get("text", "")):
                    return i + 1
            return 0
        first = wait_for("the probe's readings as annotations", annotated, 10)
        time.sleep(2.0)  # four more readings
        later = records(record_path, mark)[first:]
        assert not any(r["kind"] == SOS_KIND for r in later), "speed of sound still decoded after the change"
        assert sum(r["kind"] == ANNOTATION_KIND for r in later) >= 2, "the annotations stopped"
        shown = Select(driver.find_element(By.CSS_SELECTOR, 'select[data-label="Port %d Decode"]' % PROBE_PORT))
        assert shown.first_selected_option.text == "Annotate"
        print("panel: port %d decodes \"Annotate\": records of kind %d became kind %d" %
              (PROBE_PORT, SOS_KIND, ANNOTATION_KIND))

        # "Enable Comms" off: every lamp grey; on again: green again.
        enable = driver.find_element(By.CSS_SELECTOR, 'input[data-label="Enable Comms"]')
        assert enable.is_selected()
        enable.click()
        wait_for("grey lamps, not %s" % lamp_states(driver), lambda: all_lamps(driver, "3"), 5)
        print("panel: comms off, lamps grey")
        driver.find_element(By.CSS_SELECTOR, 'input[data-label="Enable Comms"]').click()
        wait_for("green lamps again, not %s" % lamp_states(driver), lambda: all_lamps(driver, "2"), 20)
        print("panel: comms on, lamps green again")

        height = driver.execute_script("return document.documentElement.scrollHeight")
        driver.set_window_size(1360, min(max(height + 20, 600), 2000))
        time.sleep(0.5)
        driver.save_screenshot(args.screenshot)

        # The station goes: the page says so.
        host.terminate()
        host.wait(timeout=15)
        wait_for("the page to say the station is gone",
                 lambda: driver.find_element(By.ID, "link").get_attribute("data-state") in ("gone", "lost"), 10)
        print("panel: the page says: " + driver.find_element(By.ID, "link").text)
    finally:
        if driver:
            driver.quit()
        if host.poll() is None:
            host.terminate()
            host.wait(timeout=15)
        log.close()
    print("panel: screenshot in " + args.screenshot)
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
