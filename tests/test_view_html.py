"""The lineage page in a real browser: headless Chromium driven by Selenium.
Skipped where Chromium or its driver is not installed (CI installs both).

Pages: a small query, a script with an intermediate table, and all 99 TPC-DS
queries (from ../shared, when it is there). Each test reads the page's DOM
or acts on it as a user would: clicking, hovering, typing, dragging."""

import base64
import json
import os
import shutil
import time

import pytest

from sqlparse_main import lineage, lineage_html, lineage_many

webdriver = pytest.importorskip("selenium.webdriver")
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

BROWSER = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
pytestmark = pytest.mark.skipif(not (BROWSER and DRIVER), reason="chromium and chromedriver are not installed")

CORPUS = os.path.join(os.path.dirname(__file__), "..", "..", "shared", "sql-corpus")

SMALL = "select a, b + 1 as c, sum(d) as s from db.t group by a, b"
SCRIPT = ("create table s as select a, b from db.t;\n"
          "select s.a, b + 1 as c from s join u on s.a = u.id where u.k > 1;\n"
          "insert into w select a from s")


def tpcds_page():
    path = os.path.join(CORPUS, "tpc.jsonl")
    if not os.path.exists(path):
        pytest.skip("the TPC corpus (../shared/sql-corpus) is not there")
    with open(path, encoding="utf-8") as f:
        rows = [r for r in map(json.loads, f) if r["id"].startswith("tpcds-sqlglot/")]
    with open(os.path.join(CORPUS, "tpcds-schema.json"), encoding="utf-8") as f:
        schema = json.load(f)
    sqls = [r["sql"] for r in rows]
    results = lineage_many(sqls, dialect="ansi", schema=schema)
    return lineage_html(results, names=[r["id"].split("/")[1] for r in rows], sqls=sqls, title="TPC-DS")


PAGES = {
    "small": lambda: lineage(SMALL).to_html(SMALL, name="small.sql"),
    "script": lambda: lineage(SCRIPT).to_html(SCRIPT, name="etl.sql"),
    "tpcds": tpcds_page,
}


@pytest.fixture(scope="module")
def driver():
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service

    options = Options()
    options.binary_location = BROWSER
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1400,900"):
        options.add_argument(arg)
    # The browser is not what a sanitized run checks: it starts without the preloaded runtime.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    d = webdriver.Chrome(options=options, service=Service(executable_path=DRIVER, env=env))
    yield d
    d.quit()


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    made = {}

    def page(name):
        if name not in made:
            p = tmp_path_factory.mktemp("pages") / f"{name}.html"
            p.write_text(PAGES[name](), encoding="utf-8")
            made[name] = p.as_uri()
        return made[name]

    return page


def load(driver, files, name):
    driver.get(files(name))
    driver.find_element(By.CSS_SELECTOR, "body.ready")  # the script ran to its end
    return driver


def dom(driver):
    return driver.execute_script("""
        var q = function (s, f) { return Array.prototype.map.call(document.querySelectorAll(s), f); };
        return {tables: q('[data-table]', function (e) { return e.dataset.table; }),
                columns: q('[data-column]', function (e) { return e.dataset.column; }),
                edges: q('[data-source]', function (e) { return [e.dataset.source, e.dataset.target, e.dataset.kind]; })};
    """)


def highlighted(driver):
    return {tuple(e) for e in driver.execute_script(
        "return Array.prototype.map.call(document.querySelectorAll('.highlighted'),"
        " function (e) { return [e.dataset.source, e.dataset.target]; });")}


@pytest.mark.parametrize("name, tables, columns, edges", [
    ("small", {"small.sql:1", "db.t"}, {"small.sql:1.a", "small.sql:1.c", "small.sql:1.s", "db.t.d"},
     {("db.t.a", "small.sql:1.a", "identity"), ("db.t.b", "small.sql:1.c", "transformation"),
      ("db.t.d", "small.sql:1.s", "aggregation"), ("db.t.a", "small.sql:1", "group_by")}),
    ("script", {"s", "etl.sql:2", "w", "db.t", "u"}, {"s.a", "s.b", "u.id", "u.k", "w.a", "etl.sql:2.c"},
     {("db.t.a", "s.a", "identity"), ("s.a", "w.a", "identity"), ("s.b", "etl.sql:2.c", "transformation"),
      ("u.k", "etl.sql:2", "filter")}),
    ("tpcds", {"store_sales", "date_dim", "customer", "q01:1", "q99:1"},
     {"store_sales.ss_net_profit", "q01:1.c_customer_id"},
     {("customer.c_customer_id", "q01:1.c_customer_id", "identity")}),
])
def test_tables_columns_and_edges_are_in_the_page(driver, files, name, tables, columns, edges):
    got = dom(load(driver, files, name))
    assert tables <= set(got["tables"]) and len(got["tables"]) == len(set(got["tables"]))
    assert columns <= set(got["columns"]) and len(got["columns"]) == len(set(got["columns"]))
    assert edges <= {tuple(e) for e in got["edges"]}
    if name == "tpcds":
        assert len(got["tables"]) > 120 and len(got["edges"]) > 2000


def click_column(driver, key):
    driver.find_element(By.CSS_SELECTOR, f'[data-column="{key}"]').click()


@pytest.mark.parametrize("name, column, indirect, want", [
    ("script", "s.a", False, {("db.t.a", "s.a"), ("s.a", "etl.sql:2.a"), ("s.a", "w.a")}),
    ("script", "db.t.b", False, {("db.t.b", "s.b"), ("s.b", "etl.sql:2.c")}),
    ("script", "etl.sql:2.c", False, {("s.b", "etl.sql:2.c"), ("db.t.b", "s.b")}),
    ("script", "u.k", False, set()),
    # With the indirect edges shown, what decides a column's rows is upstream of it.
    ("script", "etl.sql:2.c", True, {("s.b", "etl.sql:2.c"), ("db.t.b", "s.b"), ("s.a", "etl.sql:2"),
                                     ("u.id", "etl.sql:2"), ("u.k", "etl.sql:2"), ("db.t.a", "s.a")}),
    ("script", "u.k", True, {("u.k", "etl.sql:2")}),
    ("small", "db.t.a", False, {("db.t.a", "small.sql:1.a")}),
])
def test_clicking_a_column_highlights_its_paths(driver, files, name, column, indirect, want):
    load(driver, files, name)
    if indirect:
        driver.find_element(By.ID, "show-indirect").click()
    click_column(driver, column)
    assert highlighted(driver) == want
    assert driver.find_element(By.TAG_NAME, "body").get_attribute("class").split().count("focus") == 1
    assert driver.find_element(By.ID, "panel").text == ""  # the details wait for the button
    driver.find_element(By.ID, "details").click()
    assert driver.find_element(By.ID, "panel").text.splitlines()[1] == column
    driver.find_element(By.ID, "details").click()
    click_column(driver, column)  # a second click lets go
    assert highlighted(driver) == set()


def test_hover_previews_and_leaving_clears(driver, files):
    load(driver, files, "script")
    col = driver.find_element(By.CSS_SELECTOR, '[data-column="s.b"]')
    ActionChains(driver).move_to_element(col).perform()
    assert highlighted(driver) == {("db.t.b", "s.b"), ("s.b", "etl.sql:2.c")}
    ActionChains(driver).move_by_offset(0, 300).perform()
    assert highlighted(driver) == set()




def in_view(driver, element):
    return driver.execute_script("""
        var r = arguments[0].getBoundingClientRect(), v = document.getElementById('viewport').getBoundingClientRect();
        var right = document.body.classList.contains('panel-open') ? document.getElementById('panel').getBoundingClientRect().left : v.right;
        return [r.left + r.width / 2 - (v.left + right) / 2, r.top + r.height / 2 - (v.top + v.height / 2),
                r.left >= v.left && r.right <= right && r.top >= v.top && r.bottom <= v.bottom];
    """, element)


@pytest.mark.parametrize("name, typed, found", [
    ("script", "db.t", '[data-table="db.t"]'),
    ("script", "etl.sql:2.c", '[data-column="etl.sql:2.c"]'),
    ("tpcds", "q77", '[data-table="q77:1"]'),
    ("tpcds", "household_demographics", '[data-table="household_demographics"]'),
    ("tpcds", "ss_ext_wholesale_cost", '[data-column="store_sales.ss_ext_wholesale_cost"]'),
])
def test_search_scrolls_to_the_match(driver, files, name, typed, found):
    load(driver, files, name)
    driver.find_element(By.ID, "search").send_keys(typed)
    target = driver.find_element(By.CSS_SELECTOR, found)
    assert "found" in target.get_attribute("class").split()
    dx, dy, inside = in_view(driver, target)
    assert inside and abs(dx) < 2 and abs(dy) < 2
    if "data-column" in found:  # a column found is also followed
        assert highlighted(driver)


def test_enter_steps_through_the_matches(driver, files):
    load(driver, files, "script")
    box = driver.find_element(By.ID, "search")
    box.send_keys(".a")  # s.a, etl.sql:2.a, w.a, db.t.a
    seen = [driver.find_element(By.CSS_SELECTOR, ".found").get_attribute("data-column")]
    for _ in range(4):
        box.send_keys("\n")
        seen.append(driver.find_element(By.CSS_SELECTOR, ".found").get_attribute("data-column"))
    assert sorted(set(seen)) == ["db.t.a", "etl.sql:2.a", "s.a", "w.a"] and seen[4] == seen[0]
    assert driver.find_element(By.ID, "found-count").text == "1/4"


def test_the_tpcds_page_follows_a_column_after_search(driver, files):
    load(driver, files, "tpcds")
    driver.find_element(By.ID, "search").send_keys("customer.c_customer_id")
    click_column(driver, "customer.c_customer_id")  # centred by the search, so a real click lands
    click_column(driver, "customer.c_customer_id")
    got = highlighted(driver)
    assert ("customer.c_customer_id", "q01:1.c_customer_id") in got
    assert all(s == "customer.c_customer_id" for s, _ in got)  # a base column: only downstream


def test_an_edge_shows_its_statements(driver, files):
    load(driver, files, "script")
    edge = driver.find_element(By.CSS_SELECTOR, '[data-source="s.b"][data-target="etl.sql:2.c"]')
    driver.execute_script("arguments[0].dispatchEvent(new MouseEvent('click', {bubbles: true}))", edge)
    text = driver.find_element(By.ID, "panel").text
    assert "s.b \u2192 etl.sql:2.c (transformation)" in text
    assert "select s.a, b + 1 as c from s join u on s.a = u.id where u.k > 1" in text
    assert "selected" in edge.get_attribute("class").split()


@pytest.mark.parametrize("box, kind, shown", [
    ("show-indirect", "filter", True),  # off at first
    ('[data-hide="k-identity"]', "identity", False),
    ('[data-hide="k-transformation"]', "transformation", False),
])
def test_filters(driver, files, box, kind, shown):
    load(driver, files, "script")
    edge = driver.find_element(By.CSS_SELECTOR, f'[data-kind="{kind}"]')
    assert edge.value_of_css_property("display") == ("none" if shown else "inline")
    driver.find_element(By.CSS_SELECTOR, box if box.startswith("[") else f"#{box}").click()
    assert edge.value_of_css_property("display") == ("inline" if shown else "none")


def transform(driver):
    return driver.find_element(By.ID, "world").value_of_css_property("transform")


def test_zoom_and_pan(driver, files):
    load(driver, files, "script")
    scale = lambda: float(transform(driver).split("(")[1].split(",")[0])  # noqa: E731
    before = scale()
    driver.find_element(By.ID, "zoom-in").click()
    assert scale() == pytest.approx(before * 1.25)
    driver.find_element(By.ID, "zoom-out").click()
    assert scale() == pytest.approx(before)
    box = driver.find_element(By.CSS_SELECTOR, '[data-table="w"]')
    x0 = box.rect["x"]
    viewport = driver.find_element(By.ID, "viewport")
    ActionChains(driver).move_to_element_with_offset(viewport, -600, 300).click_and_hold() \
        .move_by_offset(60, 0).move_by_offset(60, 0).release().perform()
    assert box.rect["x"] == pytest.approx(x0 + 120, abs=2)
    driver.find_element(By.ID, "fit").click()
    assert box.rect["x"] == pytest.approx(x0, abs=2)


PIXELS = """
var done = arguments[1], img = new Image();
img.onload = function () {
  var c = document.createElement('canvas'); c.width = img.width; c.height = img.height;
  var g = c.getContext('2d'); g.drawImage(img, 0, 0);
  var d = g.getImageData(0, 0, c.width, c.height).data, colours = new Set(), off = 0, n = 0;
  for (var i = 0; i < d.length; i += 4 * 3) {
    var rgb = (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];
    colours.add(rgb); n++; if (rgb !== arguments[2]) off++;
  }
  done([c.width, c.height, colours.size, off / n]);
};
img.onerror = function () { done(null); };
img.src = 'data:image/png;base64,' + arguments[0];
"""


@pytest.mark.parametrize("name", ["small", "script", "tpcds"])
def test_screenshots_are_not_blank(driver, files, name):
    load(driver, files, name)
    png = driver.get_screenshot_as_png()
    background = 0xF4F5F7
    driver.get("about:blank")
    width, height, colours, drawn = driver.execute_async_script(
        PIXELS.replace("arguments[2]", str(background)), base64.b64encode(png).decode())
    assert (width, height) == (1400, driver.execute_script("return window.innerHeight") or height)
    assert colours > 50 and drawn > 0.02, (colours, drawn)


def test_the_tpcds_page_renders_in_a_few_seconds(driver, files):
    files("tpcds")  # built before the clock starts
    start = time.perf_counter()
    load(driver, files, "tpcds")
    seconds = time.perf_counter() - start
    assert seconds < 20, seconds  # a generous bound: it opens in well under a second here
    assert driver.execute_script("return document.querySelectorAll('.edge').length") > 2000
