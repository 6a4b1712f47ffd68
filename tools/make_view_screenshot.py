"""Regenerates the README's picture of the lineage page: the 22 TPC-H queries
with their schema, one column followed, in headless Chromium.

Usage: python tools/make_view_screenshot.py [--corpus DIR] [--out docs/lineage-view-tpch.png]
       [--html lineage-tpch.html] [--column lineitem.l_extendedprice]

Needs chromium, chromedriver and selenium (pip install selenium).
"""

from __future__ import annotations

import argparse
import json
import os
import shutil
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "..", "shared", "sql-corpus")
WIDTH, HEIGHT = 1280, 720


def tpch_page(corpus: str) -> str:
    sys.path.insert(0, os.path.join(ROOT, "python"))
    from sqlparse_main import lineage_html, lineage_many

    with open(os.path.join(corpus, "tpc.jsonl"), encoding="utf-8") as f:
        rows = [r for r in map(json.loads, f) if r["id"].startswith("tpch-")]
    with open(os.path.join(corpus, "tpch-schema.json"), encoding="utf-8") as f:
        schema = json.load(f)
    sqls = [r["sql"] for r in rows]
    return lineage_html(lineage_many(sqls, dialect=rows[0]["dialect"], schema=schema),
                        names=[r["id"].split("/")[1] for r in rows], sqls=sqls, title="TPC-H")


def main(argv=None) -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--corpus", default=CORPUS)
    p.add_argument("--out", default=os.path.join(ROOT, "docs", "lineage-view-tpch.png"))
    p.add_argument("--html", default=None, help="also keep the page here")
    p.add_argument("--column", default="lineitem.l_extendedprice", help="the column to click")
    args = p.parse_args(argv)

    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By

    page = tpch_page(args.corpus)
    with tempfile.TemporaryDirectory() as tmp:
        path = args.html or os.path.join(tmp, "tpch.html")
        with open(path, "w", encoding="utf-8") as f:
            f.write(page)
        options = Options()
        options.binary_location = shutil.which("chromium") or shutil.which("chromium-browser") or ""
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    f"--window-size={WIDTH},{HEIGHT}"):
            options.add_argument(arg)
        driver = webdriver.Chrome(options=options, service=Service(executable_path=shutil.which("chromedriver")))
        try:
            driver.get("file://" + os.path.abspath(path))
            driver.find_element(By.CSS_SELECTOR, "body.ready")
            driver.execute_script(
                "arguments[0].dispatchEvent(new MouseEvent('click', {bubbles: true}))",
                driver.find_element(By.CSS_SELECTOR, f'[data-column="{args.column}"]'))
            png = driver.get_screenshot_as_png()
        finally:
            driver.quit()
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "wb") as f:
        f.write(png)
    print(f"{args.out}: {len(png) // 1024} KB, {len(page) // 1024} KB page")
    return 0


if __name__ == "__main__":
    sys.exit(main())
