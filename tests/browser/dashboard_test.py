"""The collector's web dashboard in a real headless Chromium.

tallygate-sim serves three TCP terminals; cards are enrolled and punched on
the first through the library (CardSendToMachine, SendRecordToMachine, as an
integrator would); tallygate-collector polls them with the dashboard on
loopback. A second collector on the same store listens beyond loopback with
a token, over HTTPS with a certificate the test makes, which the browser is
told to trust by its key's hash.

The programs come from the environment (CTest sets them): TALLYGATE_SIM,
TALLYGATE_COLLECTOR, TALLYGATE_CLI, TALLYGATE_REGSVR, TALLYGATE_V70.
With TALLYGATE_SCREENSHOTS=DIR the pages are saved there as PNG files.
"""

import csv
import io
import base64
import hashlib
import os
import socket
import ssl
import subprocess
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

import pytest
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

TOKEN = "s3cret-token-for-the-test"
ADMIN_TOKEN = "adm1n-token-for-the-test"
# Enrolled on terminal 1: (card, staff, name); each card punches twice.
HOLDERS = [(0x00ABCDEF, "00000101", "张三"), (0x00C0FFEE, "00000102", "<script>"),
           (0x00FACADE, "00000103", '"><img')]
PUNCH_DAY = "2026-11-03"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = check()
        if result:
            return result
        time.sleep(0.2)
    raise AssertionError(f"timed out waiting for {what}")


# The certificate of the collector served over HTTPS, which http_get trusts.
TRUSTED = {}


def make_certificate(work):
    """A self-signed certificate for 127.0.0.1: (cert, key, base64 SHA-256 of its public key)."""
    cert, key = work / "dashboard.crt", work / "dashboard.key"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    public = subprocess.run(["openssl", "x509", "-in", str(cert), "-noout", "-pubkey"],
                            check=True, capture_output=True).stdout
    der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=public,
                         check=True, capture_output=True).stdout
    return cert, key, base64.b64encode(hashlib.sha256(der).digest()).decode()


def http_get(url, headers=None):
    """(status, body) of a GET, 4xx and 5xx included."""
    request = urllib.request.Request(url, headers=headers or {})
    context = ssl.create_default_context(cafile=TRUSTED["cert"]) if url.startswith("https:") else None
    try:
        with urllib.request.urlopen(request, timeout=10, context=context) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


class Fleet:
    """The simulator, the enrolled cards and two collectors."""

    def __init__(self, work):
        self.work = work
        self.sim = subprocess.Popen(
            [os.environ["TALLYGATE_SIM"], "--tcp-terminals", "3", "--tcp-port", "0",
             "--records", "20", "--cards", "4", "--quiet", "--exit-on-eof"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.ports = []
        for line in self.sim.stdout:
            if line.startswith("tcp "):
                self.ports.append(int(line.split()[2]))
            if line.startswith("ready"):
                break
        self.enroll()
        self.database = work / "punches.db"
        admins = work / "admins"
        admins.write_text(f"# who may change things\nfacilities {ADMIN_TOKEN}\n")
        admins.chmod(0o600)
        self.url = self.start_collector("main", f"127.0.0.1:{free_port()}", terminals=True,
                                        admin_token_file=admins)
        token_file = work / "token"
        token_file.write_text(TOKEN + "\n")
        token_file.chmod(0o600)
        cert, key, self.spki = make_certificate(work)
        TRUSTED["cert"] = str(cert)
        self.remote_url = self.start_collector(
            "remote", f"0.0.0.0:{free_port()}", terminals=False, token_file=token_file,
            tls=(cert, key))

    def control(self, command):
        self.sim.stdin.write(command + "\n")
        self.sim.stdin.flush()
        answer = self.sim.stdout.readline()
        assert answer.startswith("ok"), f"{command}: {answer}"

    def enroll(self):
        env = dict(os.environ, TALLYGATE_REGISTRY=str(self.work / "registry"),
                   TALLYGATE_HOME=str(self.work / "home"),
                   TALLYGATE_SYSTEM_LOCALE="zh_CN.UTF-8")
        subprocess.run([os.environ["TALLYGATE_REGSVR"], os.environ["TALLYGATE_V70"]],
                       env=env, check=True, capture_output=True)
        script = ""
        for card, staff, name in HOLDERS:
            script += f"call CardSendToMachine 1 {card} {staff} \\{name} 127 00:00-23:59\n"
            for clock in ("085912", "180140"):  # card and time as a record line has them
                script += f"call SendRecordToMachine 1 {card:08X} 261103{clock} 00 00\n"
        done = subprocess.run(
            [os.environ["TALLYGATE_CLI"], "--tcp", f"127.0.0.1:{self.ports[0]}", "script"],
            input=script, env=env, text=True, capture_output=True)
        assert done.returncode == 0, done.stdout + done.stderr

    def start_collector(self, name, listen, terminals, token_file=None, admin_token_file=None,
                        tls=None):
        config = self.work / f"{name}.toml"
        # A stopped simulated terminal refuses connections: unreachable at
        # once, not taken for a terminal serving another program.
        text = f'database = "sqlite:{self.database}"\npoll_interval = 1\nbusy_limit = 0\n'
        text += f'[http]\nlisten = "{listen}"\n'
        if token_file:
            text += f'token_file = "{token_file}"\n'
        if admin_token_file:
            text += f'admin_token_file = "{admin_token_file}"\n'
        if tls:
            text += f'tls_cert_file = "{tls[0]}"\ntls_key_file = "{tls[1]}"\n'
        for k, port in enumerate(self.ports if terminals else [], start=1):
            text += f'[[terminal]]\nname = "gate-{k}"\ntcp = "127.0.0.1:{port}"\n'
            text += 'time_zone = "Asia/Shanghai"\nunit_wait_ms = 500\n'
        config.write_text(text)
        log = open(self.work / f"{name}.log", "w")
        process = subprocess.Popen([os.environ["TALLYGATE_COLLECTOR"], "--config", str(config),
                                    "run"], stdout=log, stderr=subprocess.STDOUT)
        setattr(self, f"{name}_process", process)
        url = ("https" if tls else "http") + "://127.0.0.1:" + listen.rsplit(":", 1)[1]
        wait_for(f"{name} collector's /healthz", lambda: self.healthy(url, process))
        return url

    @staticmethod
    def healthy(url, process):
        assert process.poll() is None, "the collector exited"
        try:
            return http_get(url + "/healthz")[0] == 200
        except OSError:
            return False

    def export(self, *args):
        return self.command("export", "--format", "csv", *args)

    def command(self, *args):
        """The standard output of tallygate-collector ARGS on this store."""
        done = subprocess.run(
            [os.environ["TALLYGATE_COLLECTOR"], "--config", str(self.work / "main.toml"), *args],
            capture_output=True, check=True)
        return done.stdout

    def close(self):
        for process in (getattr(self, "main_process", None), getattr(self, "remote_process", None)):
            if process:
                process.terminate()
                assert process.wait(timeout=30) == 0
        self.sim.stdin.close()
        self.sim.wait(timeout=10)


@pytest.fixture(scope="module")
def fleet():
    with tempfile.TemporaryDirectory() as work:
        fleet = Fleet(Path(work))
        try:
            yield fleet
        finally:
            fleet.close()


def make_browser(language, downloads, spki):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=1440,900", f"--lang={language}",
                     f"--ignore-certificate-errors-spki-list={spki}"):
        options.add_argument(argument)
    options.add_experimental_option("prefs", {
        "intl.accept_languages": language, "download.default_directory": str(downloads),
        "download.prompt_for_download": False})
    service = Service(executable_path="/usr/bin/chromedriver")
    return webdriver.Chrome(options=options, service=service)


@pytest.fixture(scope="module", params=["en", "zh-CN"])
def browser(request, tmp_path_factory, fleet):
    downloads = tmp_path_factory.mktemp("downloads")
    driver = make_browser(request.param, downloads, fleet.spki)
    driver.language = request.param
    driver.downloads = downloads
    yield driver
    driver.quit()


def screenshot(driver, name):
    folder = os.environ.get("TALLYGATE_SCREENSHOTS")
    if folder:
        driver.save_screenshot(str(Path(folder) / f"{name}-{driver.language}.png"))


def search(driver, fleet, **fields):
    driver.get(fleet.url + "/punches")
    form = driver.find_element(By.ID, "search")
    for field, value in fields.items():
        box = form.find_element(By.NAME, field)
        if box.tag_name == "select":
            box.find_element(By.CSS_SELECTOR, f'option[value="{value}"]').click()
        elif box.get_attribute("type") == "date":  # typing follows the locale's own order
            driver.execute_script("arguments[0].value = arguments[1]", box, value)
        else:
            box.clear()
            box.send_keys(value)
    driver.find_element(By.ID, "search-button").click()
    wait_for("the results", lambda: driver.find_elements(By.ID, "punches"))
    return [{cell.get_attribute("class"): cell.text
             for cell in row.find_elements(By.TAG_NAME, "td")}
            for row in driver.find_elements(By.CSS_SELECTOR, "#punches tr.punch")]


def test_terminals_page_shows_a_stopped_terminal_as_unreachable(browser, fleet):
    def states():
        browser.get(fleet.url + "/terminals")
        rows = browser.find_elements(By.CSS_SELECTOR, "#terminals tr[data-terminal]")
        return {row.get_attribute("data-terminal"): row.get_attribute("data-state")
                for row in rows}
    wait_for("every terminal answering",
             lambda: states() == {f"gate-{k}": "answering" for k in (1, 2, 3)})
    fleet.control("stop #3")
    try:
        wait_for("gate-3 unreachable", lambda: states().get("gate-3") == "unreachable")
        assert states()["gate-1"] == "answering"
        assert browser.find_element(By.TAG_NAME, "html").get_attribute("lang") == browser.language
        screenshot(browser, "dashboard-terminals")
    finally:
        fleet.control("start #3")


@pytest.mark.parametrize("field, value", [("card", "0x00ABCDEF"), ("card", str(0x00ABCDEF)),
                                          ("name", "张三"), ("name", "三")])
def test_search_by_card_and_by_chinese_name_finds_the_punches(browser, fleet, field, value):
    # On the day they punched: records the simulator adds may go to any card.
    rows = wait_for("张三's punches", lambda: search(browser, fleet, **{
        field: value, "from": PUNCH_DAY, "to": PUNCH_DAY}))
    assert [(row["card-hex"], row["name"]) for row in rows] == [("00ABCDEF", "张三")] * 2
    assert sorted(row["time"][-8:] for row in rows) == ["08:59:12", "18:01:40"]
    screenshot(browser, "dashboard-punches")


def punch_rows(driver):
    return [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")]
            for row in driver.find_elements(By.CSS_SELECTOR, "#punches tr.punch")]


def test_punches_page_gains_a_row_as_a_punch_is_stored(browser, fleet):
    wait_for("punches stored", lambda: search(browser, fleet))
    browser.get(fleet.url + "/punches")
    note = browser.find_element(By.ID, "live-note")
    wait_for("the live feed open", note.is_displayed)
    before = punch_rows(browser)
    fleet.control("add-records 1 #1")
    grown = wait_for("the new row", lambda: len(punch_rows(browser)) > len(before) and
                     punch_rows(browser))
    assert grown[1:] == before
    # The row as the server renders that punch.
    browser.get(fleet.url + "/punches")
    assert grown[0] in punch_rows(browser)


def open_stream(url):
    """A live-feed stream held open by the test: (socket, status code)."""
    host, port = url.removeprefix("http://").split(":")
    stream = socket.create_connection((host, int(port)), timeout=10)
    stream.sendall(f"GET /api/events HTTP/1.1\r\nHost: {host}:{port}\r\n\r\n".encode())
    return stream, int(stream.recv(64).split()[1])


def punches_stored(fleet):
    metrics = http_get(fleet.url + "/metrics")[1].decode()
    return sum(float(line.split()[-1]) for line in metrics.splitlines()
               if line.startswith("tallygate_terminal_punches_stored{"))


def test_punches_page_refused_a_stream_asks_again_and_misses_nothing(browser, fleet):
    wait_for("punches stored", lambda: search(browser, fleet))
    browser.get("about:blank")
    time.sleep(3)  # the last page's stream is dropped at its next keep-alive
    streams = [open_stream(fleet.url) for _ in range(4)]
    try:
        assert [status for _, status in streams] == [200] * 4
        browser.get(fleet.url + "/punches")
        before = punch_rows(browser)
        assert open_stream(fleet.url)[1] == 503
        # Stored while the page has no stream.
        stored = punches_stored(fleet)
        fleet.control("add-records 1 #1")
        wait_for("the punch stored", lambda: punches_stored(fleet) > stored)
        note = browser.find_element(By.ID, "live-note")
        assert not note.is_displayed()
    finally:
        for stream, _ in streams:
            stream.close()
    wait_for("the page's stream", note.is_displayed)
    wait_for("the new row", lambda: len(punch_rows(browser)) > len(before))
    time.sleep(1)
    grown = punch_rows(browser)
    assert grown[1:] == before
    browser.get(fleet.url + "/punches")
    assert grown[0] in punch_rows(browser)


def test_holder_names_with_markup_show_as_text(browser, fleet):
    for name in ("<script>", '"><img'):
        rows = wait_for(name, lambda n=name: search(browser, fleet, name=n))
        assert {row["name"] for row in rows} == {name}
        with pytest.raises(NoAlertPresentException):
            browser.switch_to.alert.text
        assert not browser.find_elements(By.CSS_SELECTOR, "#punches img")
    browser.get(fleet.url + "/terminals/gate-1")
    names = [cell.text for cell in browser.find_elements(By.CSS_SELECTOR, "#cards td.name")]
    assert "<script>" in names and '"><img' in names
    assert not browser.find_elements(By.CSS_SELECTOR, "#cards img, #cards script")


def download(browser, name):
    """The bytes the page's CSV link gives, saved as NAME."""
    browser.execute_cdp_cmd("Browser.setDownloadBehavior",
                            {"behavior": "allow", "downloadPath": str(browser.downloads)})
    browser.find_element(By.ID, "csv-link").click()
    done = wait_for("the download", lambda: [
        f for f in browser.downloads.iterdir() if f.name == name])
    body = done[0].read_bytes()
    done[0].unlink()
    return body


def test_csv_download_matches_export(browser, fleet):
    search(browser, fleet, **{"from": PUNCH_DAY, "to": PUNCH_DAY})
    body = download(browser, "punches.csv")
    assert body == fleet.export("--from", PUNCH_DAY, "--to", PUNCH_DAY)
    rows = list(csv.DictReader(io.StringIO(body.decode("utf-8"), newline="")))
    assert {row["name"] for row in rows} >= {"张三", "<script>", '"><img'}


def test_timesheet_page_and_download_match_the_command(browser, fleet):
    browser.get(f"{fleet.url}/timesheet?from={PUNCH_DAY}&to={PUNCH_DAY}&terminal=gate-1")
    rows = wait_for("张三's day", lambda: [
        row for row in browser.find_elements(By.CSS_SELECTOR, "#timesheet tr.day")
        if "张三" in row.text])
    assert rows[0].find_element(By.CLASS_NAME, "punches").text == "2"
    body = download(browser, "timesheet.csv")
    assert body == fleet.command("timesheet", "--from", PUNCH_DAY, "--to", PUNCH_DAY,
                                 "--terminal", "gate-1")
    browser.get(fleet.url + "/terminals/gate-1")
    chart = browser.find_element(By.ID, "hourly")
    assert chart.get_attribute("role") == "img" and chart.size["width"] > 300
    assert len(chart.find_elements(By.CSS_SELECTOR, "rect.bar")) == 168
    screenshot(browser, "dashboard-timesheet")


@pytest.mark.parametrize("path", ["/terminals", "/punches", "/api/terminals",
                                  "/api/punches", "/metrics"])
def test_beyond_loopback_everything_needs_the_token(fleet, path):
    status, body = http_get(fleet.remote_url + path)
    assert status == 401
    assert b"gate-1" not in body
    wrong = http_get(fleet.remote_url + path, {"Authorization": "Bearer wrong"})
    assert wrong[0] == 401
    right = http_get(fleet.remote_url + path, {"Authorization": f"Bearer {TOKEN}"})
    assert right[0] == 200


def test_login_page_lets_the_browser_in(browser, fleet):
    browser.delete_all_cookies()
    browser.get(fleet.remote_url + "/terminals")
    assert not browser.find_elements(By.ID, "terminals")
    form = browser.find_element(By.ID, "login")
    form.find_element(By.NAME, "token").send_keys(TOKEN)
    form.submit()
    wait_for("the terminals page", lambda: browser.find_elements(By.ID, "terminals"))
    assert browser.current_url.startswith("https://")
    cookie = browser.get_cookie("tallygate_token")
    assert cookie["httpOnly"] and cookie["sameSite"] == "Strict" and cookie["secure"]


def test_an_admin_adds_then_revokes_a_holder_through_the_form(browser, fleet):
    browser.delete_all_cookies()
    browser.get(fleet.url + "/cardholders")
    assert not browser.find_elements(By.ID, "holder-form")
    assert browser.find_elements(By.CSS_SELECTOR, ".admin-note a[href='/login']")
    browser.get(fleet.url + "/login")
    form = browser.find_element(By.ID, "login")
    form.find_element(By.NAME, "token").send_keys(ADMIN_TOKEN)
    form.submit()
    wait_for("the terminals page", lambda: browser.find_elements(By.ID, "terminals"))
    browser.get(fleet.url + "/cardholders")
    form = browser.find_element(By.ID, "holder-form")
    for field, value in (("card", "0x00BEEF01"), ("staff", "201"), ("name", "李四"),
                         ("terminals", "gate-1;gate-2")):
        form.find_element(By.NAME, field).send_keys(value)
    browser.find_element(By.ID, "save").click()
    wait_for("the holder's page", lambda: browser.find_elements(By.ID, "revoke"))
    assert browser.find_element(By.ID, "holder-name").text == "李四"
    assert browser.find_elements(By.CSS_SELECTOR, "p.flash")
    screenshot(browser, "dashboard-cardholder")
    browser.find_element(By.ID, "revoke").click()
    wait_for("the revocation", lambda: "revoked=1" in browser.current_url)
    assert not browser.find_elements(By.ID, "revoke")
    # Revoked: nowhere in place; still to be taken off, or not yet known to
    # be gone (a list collected before the revocation).
    states = {item.get_attribute("data-state")
              for item in browser.find_elements(By.CSS_SELECTOR, "ul.places li")}
    assert states <= {"pending", "failed", "unknown"}
    status, body = http_get(fleet.url + "/api/cardholders/0x00BEEF01")
    assert status == 200 and b'"revoked":null' not in body
