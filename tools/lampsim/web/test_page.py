#!/usr/bin/python3
"""The page in a real browser: headless Chromium driven by Selenium over
build/web served on 127.0.0.1, against the lampsim program built from the same
sources.

  test_page.py --web DIR --lampsim PROGRAM --firmware ELF --out DIR
      the browser test (make test-web, part of make test): exit status 0 when
      every check holds; a screenshot of the page after a fade in --out.
  test_page.py --bench ...
      the page's figures for docs/web.md (make web-speed): transfer sizes,
      time to the first interactive frame, engine speed against the program.

Runs under Debian's /usr/bin/python3 (python3-selenium) with
/usr/bin/chromedriver and Debian's chromium.
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile
import threading
import time
from urllib.parse import urlparse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, HERE)
import serve  # noqa: E402

failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def first_difference(a, b):
    la, lb = a.split("\n"), b.split("\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: page %r, program %r" % (i + 1, x[:120], y[:120])
    return "the page's has %d lines, the program's %d" % (len(la), len(lb))


def same(page, program, what):
    return check(page == program, what + ("" if page == program else
                                          " (" + first_difference(page, program) + ")"))


def browser(download_dir):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # A container's /dev/shm is often 64 MB, too small for a renderer.
    for arg in ["--headless", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                "--disable-quic", "--no-first-run", "--disable-background-networking",
                "--disable-component-update", "--disable-sync",
                "--user-data-dir=" + tempfile.mkdtemp(prefix="lampsim-chromium."),
                "--window-size=1440,1300", "--force-device-scale-factor=1"]:
        options.add_argument(arg)
    options.add_experimental_option("prefs", {"download.default_directory": download_dir,
                                              "download.prompt_for_download": False})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    for command in ("Browser.setDownloadBehavior", "Page.setDownloadBehavior"):
        try:
            driver.execute_cdp_cmd(command, {"behavior": "allow", "downloadPath": download_dir})
        except Exception:  # one of the two is known, depending on the version
            pass
    return driver


def load(driver, url):
    driver.get(url)
    deadline = time.time() + 30
    while time.time() < deadline:
        if driver.execute_script("return !!window.lampsim"):
            return True
        time.sleep(0.05)
    return False


def lampsim(program, args, cwd=ROOT, stdin=None):
    r = subprocess.run([program] + args, cwd=cwd, capture_output=True, input=stdin)
    return r.returncode, r.stdout.decode(), r.stderr.decode()


def read(path):
    with open(path, "rb") as f:
        return f.read().decode()


def wait_for_file(path, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path) and not os.path.exists(path + ".crdownload"):
            return True
        time.sleep(0.05)
    return False


def scenario_files():
    return sorted(os.path.relpath(p, ROOT) for p in glob.glob(os.path.join(ROOT, "tests", "scenarios", "*.lamp")))


def test_scenarios(driver, program, work):
    """Every scenario file gives in the page what the program gives."""
    for rel in scenario_files():
        text = read(os.path.join(ROOT, rel))
        page = driver.execute_script("return lampsim.run(arguments[0], arguments[1])", text, rel)
        out = {k: os.path.join(work, "cli." + k) for k in ("csv", "vcd", "svg")}
        status, stdout, stderr = lampsim(program, [rel, "--csv", out["csv"], "--vcd", out["vcd"],
                                                   "--plot", out["svg"]])
        ok = page["status"] == status and page["stdout"] == stdout and page["stderr"] == stderr
        for k in out:
            ok = ok and page[k] == read(out[k])
        if not ok:
            for k, cli in (("stdout", stdout), ("stderr", stderr), ("csv", read(out["csv"]))):
                same(page[k], cli, rel + ": " + k)
        check(ok, "%s: status %d, timeline, messages, CSV, VCD and SVG as the program's"
              % (rel, status))


def click(driver, element_id):
    driver.find_element(By.ID, element_id).click()


def test_live(driver, program, firmware, work, downloads, screenshot):
    """A session through the page's own controls, replayed by the program."""
    api = lambda js, *a: driver.execute_script("return lampsim." + js, *a)  # noqa: E731
    click(driver, "pause")
    click(driver, "reset")
    check(api("state()")["t_us"] == 0 and not api("state()")["supply"],
          "a new session: time 0, no power")
    driver.find_element(By.CSS_SELECTOR, "#cfg-mode option[value='cw']").click()
    click(driver, "cfg-apply")
    click(driver, "supply-on")
    api("advance(5500)")
    check(api("outputs()") == [0, 18000],
          "power on in cold/warm mixing: faded in to full brightness, warm white")
    power = driver.find_element(By.ID, "btn-power")
    power.click()  # switch off
    api("advance(1000)")
    check(sum(api("outputs()")) < 18000, "the remote switched it off: fading out")
    power.click()  # switch on
    api("advance(5500)")
    minus = driver.find_element(By.CSS_SELECTOR, "[data-button='bright-']")
    for _ in range(5):
        minus.click()
        api("advance(400)")
    api("advance(1500)")
    stepped = api("state()")
    check(stepped["bright"] == 38, "five clicks of brightness down: five steps, 100 -> 38 (%d)"
          % stepped["bright"])
    plus = driver.find_element(By.CSS_SELECTOR, "[data-button='bright+']")
    ActionChains(driver).click_and_hold(plus).perform()
    before = sum(api("outputs()"))
    api("advance(1500)")
    holding = api("state()")
    ActionChains(driver).release(plus).perform()
    check(holding["held"] == "bright+" and holding["adjusted"] == 0x81 and
          sum(holding["out"]) > before,
          "brightness up held 1.5 s: a step, then the hold ramps (outputs %d -> %d)"
          % (before, sum(holding["out"])))
    api("advance(600)")
    released = api("state()")
    check(released["held"] == "" and released["adjusted"] == 0 and not released["fading"] and
          sum(released["out"]) < 18000,
          "released: the module ends the hold and the ramp stops where it stands (%d, bright %d)"
          % (sum(released["out"]), released["bright"]))
    cooler = driver.find_element(By.CSS_SELECTOR, "[data-button='temper+']")
    for _ in range(3):
        cooler.click()
        api("advance(400)")
    check(api("state()")["temper"] > 0 and min(api("outputs()")) > 0,
          "three clicks of cooler: both white channels lit (%s)" % api("outputs()"))
    rec = api("recording()")
    repeats = [l.split()[0] for l in rec.split("\n") if l.endswith(" adjust bright+")]
    check(len(repeats) == 8, "the held button repeated adjust every 200 ms of virtual time: "
          + " ".join(repeats))
    driver.find_element(By.ID, "bl-count").clear()
    driver.find_element(By.ID, "bl-count").send_keys("4")
    # A period whose toggles fade at 50 us a tick or slower: the chip serves
    # none shorter, and the session replays on it too.
    driver.find_element(By.ID, "bl-period").clear()
    driver.find_element(By.ID, "bl-period").send_keys("1000")
    click(driver, "bl-start")
    api("advance(1300)")
    check(api("state()")["blink"] > 0, "blink running")
    api("advance(3000)")
    click(driver, "supply-cut")
    api("advance(1000)")
    check(api("outputs()") == [0, 0] and not api("state()")["supply"], "power cut: dark")
    click(driver, "supply-on")
    api("advance(6000)")
    lit = api("state()")
    check(lit["supply"] and lit["saved"]["valid"] and lit["store"]["newest"] >= 0,
          "powered on again from the saved record (slot at flash offset %d)"
          % lit["store"]["newest"])
    height, chrome = driver.execute_script(
        "return [document.documentElement.scrollHeight, window.outerHeight - window.innerHeight]")
    driver.set_window_size(1440, height + chrome)
    driver.save_screenshot(screenshot)
    check(os.path.getsize(screenshot) > 20000, "screenshot after the fade: " + screenshot)

    click(driver, "save-lamp")
    click(driver, "save-csv")
    lamp, csv = os.path.join(downloads, "live.lamp"), os.path.join(downloads, "live.csv")
    if not (check(wait_for_file(lamp) and wait_for_file(csv), "downloaded live.lamp and live.csv")):
        return
    check(read(lamp) == api("recording()"), "the .lamp download is the session's recording")
    page_csv = read(csv)
    for board in ("host", "m0"):
        out = os.path.join(work, "replay-%s.csv" % board)
        args = [lamp, "--quiet", "--csv", out, "--board", board]
        if board == "m0":
            args += ["--firmware", firmware]
        status, _, err = lampsim(program, args)
        check(status == 0, "lampsim live.lamp --board %s: status %d %s" % (board, status, err.strip()))
        if status == 0:
            same(page_csv, read(out), "the session replayed with --board %s gives the page's CSV"
                 % board)


def test_scenario_tab(driver):
    """The scenario tab: a bad line, a huge paste, and a run after them."""
    click(driver, "tab-run")
    text = driver.find_element(By.ID, "sc-text")
    name = driver.find_element(By.ID, "sc-name")
    name.clear()
    name.send_keys("bad.lamp")
    driver.execute_script("arguments[0].value = arguments[1]", text,
                          "0s init\n1s brightness 70\n")
    click(driver, "sc-run")
    err = driver.find_element(By.ID, "sc-err").text
    check(err == "bad.lamp:2: unknown command 'brightness' (did you mean 'bright'?)",
          "a bad line shows the program's FILE:LINE message: " + err)
    check(driver.find_element(By.ID, "sc-out").text == "", "and nothing ran")
    driver.execute_script("arguments[0].value = 'x'.repeat(10 * 1000 * 1000)", text)
    started = time.time()
    click(driver, "sc-run")
    err = driver.find_element(By.ID, "sc-err").text
    check(err.startswith("lampsim: the scenario is 10000000 bytes;"),
          "a 10 MB paste is refused (%.2f s): %s" % (time.time() - started, err))
    driver.execute_script("arguments[0].value = arguments[1]", text,
                          "0s init\n6s expect outputs 18000 0\n")
    click(driver, "sc-run")
    check(driver.find_element(By.ID, "sc-status").text == "passed" and
          "expect outputs 18000 0  => ok" in driver.find_element(By.ID, "sc-out").text,
          "the page stays usable: the next run passes")
    click(driver, "tab-live")


def test_console_and_hosts(driver, url):
    host = urlparse(url).netloc
    errors = [e["message"] for e in driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
    check(not errors, "no console error or warning" + ("" if not errors else ": " + errors[0][:200]))
    import json
    others = set()
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            u = urlparse(message["params"]["request"]["url"])
            if u.scheme in ("http", "https", "ws", "wss") and u.netloc != host:
                others.add(u.netloc)
    check(not others, "no request to any other host" + ("" if not others else ": " + ", ".join(others)))


def serve_in_thread(web):
    httpd = serve.server(web, 0)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return httpd, "http://127.0.0.1:%d/" % httpd.server_address[1]


def busy_blinks():
    # The busy case of make lampsim-speed: 1,000 full-scale fades at 22 us a tick.
    lines = ["0s init", "6s blink on 125 500"] + ["+126s blink on 125 500"] * 3 + ["+126s end"]
    return "\n".join(lines) + "\n"


def idle_day():
    lines = ["0s init", "+5s countdown 86400"] + ["+3600s save"] * 24 + ["86420s end"]
    return "\n".join(lines) + "\n"


def bench(driver, url, web, program):
    sizes = {f: os.path.getsize(os.path.join(web, f)) for f in sorted(os.listdir(web))}
    total = sum(sizes.values())
    print("transfer: " + ", ".join("%s %d B" % kv for kv in sizes.items()) +
          "; total %d B (%.1f KB)" % (total, total / 1024))
    loads = []
    for _ in range(5):
        load(driver, url)
        driver.execute_script("return new Promise(r => requestAnimationFrame(() => r()))")
        loads.append(driver.execute_script("return lampsim.firstFrameMs"))
    print("first interactive frame after navigation start: median %.0f ms (of %s)"
          % (sorted(loads)[2], ", ".join("%.0f" % v for v in loads)))
    cases = [("blink.lamp", read(os.path.join(ROOT, "tests/scenarios/blink.lamp"))),
             ("busy: 1000 full-scale fades", busy_blinks()),
             ("idle day", idle_day())]
    driver.execute_script("lampsim.pause(true)")  # the page draws nothing new meanwhile
    with tempfile.TemporaryDirectory() as d:
        for name, text in cases:
            path = os.path.join(d, "case.lamp")
            with open(path, "w") as f:
                f.write(text)
            wall, cpu, page = [], [], []
            for _ in range(5):
                started = time.perf_counter()
                proc = subprocess.Popen([program, path, "--quiet"], stdout=subprocess.DEVNULL)
                _, _, usage = os.wait4(proc.pid, 0)
                wall.append(time.perf_counter() - started)
                cpu.append(usage.ru_utime + usage.ru_stime)
                page.append(driver.execute_script(
                    "const t = performance.now();"
                    "lampsim.run(arguments[0], 'case.lamp', {outputs: false, quiet: true});"
                    "return performance.now() - t;", text) / 1000)
            print("%-28s program %.4f s wall, %.4f s processor; page %.4f s wall (best of 5):"
                  " page/program %.2f (wall), %.2f (processor)"
                  % (name, min(wall), min(cpu), min(page), min(page) / min(wall),
                     min(page) / min(cpu)))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--web", default=os.path.join(ROOT, "build", "web"))
    p.add_argument("--lampsim", required=True)
    p.add_argument("--firmware", default="")
    p.add_argument("--out", default=os.path.join(ROOT, "build", "web-test"))
    p.add_argument("--bench", action="store_true")
    a = p.parse_args()
    os.makedirs(a.out, exist_ok=True)
    httpd, url = serve_in_thread(a.web)
    with tempfile.TemporaryDirectory(prefix="lampsim-web.") as work:
        downloads = os.path.join(work, "downloads")
        os.makedirs(downloads)
        driver = browser(downloads)
        try:
            if a.bench:
                bench(driver, url, a.web, a.lampsim)
                return 0
            if not check(load(driver, url), "the page loads and offers window.lampsim"):
                return 1
            test_scenarios(driver, a.lampsim, work)
            test_live(driver, a.lampsim, a.firmware, work, downloads,
                      os.path.join(a.out, "page.png"))
            test_scenario_tab(driver)
            test_console_and_hosts(driver, url)
        finally:
            driver.quit()
            httpd.shutdown()
    print("%d failed" % len(failures) if failures else "all checks hold")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
