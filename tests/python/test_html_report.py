"""The HTML report in a real browser: headless Chromium opens the bundled example's coverage.html
and a few small pages with every request to the network refused, and checks what a reader sees
and does: no script errors, the filters in the address, the ids operations are linked by, the
schema viewer, and document texts that stay text."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import vantorel_community
from vantorel_community import CoverageMap

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLE = ROOT / "examples" / "petstore"
CHROMIUM = "/usr/bin/chromium"
FONT_HOSTS = ("https://fonts.googleapis.com/", "https://fonts.gstatic.com/")

sync_api = pytest.importorskip("playwright.sync_api", reason="Playwright drives the browser; scripts/setup installs it")
pytestmark = [
    pytest.mark.skipif(not os.access(CHROMIUM, os.X_OK), reason="Debian's chromium is not installed"),
    pytest.mark.skipif(
        not hasattr(CoverageMap, "generate_html_report"), reason="this build has no HTML report methods"
    ),
]


@pytest.fixture(scope="module")
def browser():
    with sync_api.sync_playwright() as p:
        browser = p.chromium.launch(executable_path=CHROMIUM, args=["--no-sandbox"])
        yield browser
        browser.close()


class Page:
    """A page opened with the network blocked, keeping what the browser reported."""

    def __init__(self, browser, path, query=""):
        self.context = browser.new_context(viewport={"width": 1300, "height": 1400})
        self.context.route(
            "**/*", lambda route: route.continue_() if route.request.url.startswith("file:") else route.abort()
        )
        self.page = self.context.new_page()
        self.errors = []
        self.dialogs = []
        self.page.on("console", self._console)
        self.page.on("pageerror", lambda error: self.errors.append(f"page error: {error}"))
        self.page.on("dialog", lambda dialog: (self.dialogs.append(dialog.message), dialog.dismiss()))
        self.page.goto(pathlib.Path(path).as_uri() + query)
        self.page.wait_for_load_state("load")

    def _console(self, message):
        if message.type != "error":
            return
        # The web fonts are the page's only outside resource; with the network refused the
        # browser logs their failed request, which is the condition under test, not a fault.
        url = message.location.get("url", "")
        if message.text.startswith("Failed to load resource") and url.startswith(FONT_HOSTS):
            return
        self.errors.append(f"{message.text} ({url})")

    def visible_entries(self):
        return self.page.eval_on_selector_all(
            ".accordion", "els => els.filter(e => e.offsetParent !== null).map(e => [e.id, e.dataset.covered])"
        )

    def close(self):
        self.context.close()


@pytest.fixture(scope="module")
def example_html(tmp_path_factory):
    """The example suite's own report, written by its conftest as scripts/example does."""
    pytest.importorskip("flask", reason="the example needs flask; scripts/setup installs it")
    html = tmp_path_factory.mktemp("example") / "reports" / "coverage.html"
    env = dict(os.environ)
    module_dir = str(pathlib.Path(vantorel_community.__file__).resolve().parent)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (module_dir, env.get("PYTHONPATH")) if p)
    env["VANTOREL_EXAMPLE_HTML"] = str(html)
    run = subprocess.run(
        [sys.executable, "-m", "pytest", "-c", os.devnull, "--rootdir", ".", "--confcutdir", "."]
        + ["-p", "no:cacheprovider", "-q", "tests"],
        cwd=EXAMPLE,
        env=env,
        capture_output=True,
        text=True,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    assert html.is_file(), run.stdout
    return html


def test_example_report_opens_cleanly_and_filters(browser, example_html):
    view = Page(browser, example_html)
    try:
        page = view.page
        assert view.errors == []
        entries = view.visible_entries()
        states = {state for _, state in entries}
        assert "covered" in states or "partial" in states, entries
        assert "uncovered" in states, entries
        # Readable without the web fonts: the system stack behind Poppins is what renders.
        family = page.eval_on_selector("body", "e => getComputedStyle(e).fontFamily")
        assert "Poppins" in family and "sans-serif" in family
        assert page.is_visible(".charts") and page.is_visible("h1")

        shots = ROOT / "build"
        shots.mkdir(exist_ok=True)
        page.screenshot(path=str(shots / "html-report-example.png"), full_page=True)

        # A chip switched off leaves the address saying which are on, without reloading.
        page.click(".filter-chip[data-filter=covered]")
        assert "filter=partial,uncovered,unmeasurable" in page.url
        assert all(state != "covered" for _, state in view.visible_entries())
        page.click(".filter-chip[data-filter=covered]")
        assert "filter=" not in page.url
        assert view.errors == []
    finally:
        view.close()

    view = Page(browser, example_html, "?filter=uncovered")
    try:
        page = view.page
        entries = view.visible_entries()
        assert entries and all(state == "uncovered" for _, state in entries), entries
        assert page.eval_on_selector_all(
            ".accordion[data-covered=covered]", "els => els.every(e => e.offsetParent === null)"
        )
        pressed = {
            chip.get_attribute("data-filter"): chip.get_attribute("aria-pressed")
            for chip in page.query_selector_all(".filter-chip")
        }
        assert pressed["uncovered"] == "true"
        assert pressed["covered"] == pressed["partial"] == pressed["unmeasurable"] == "false"
        assert view.errors == []
    finally:
        view.close()


def test_example_schema_viewer_opens(browser, example_html):
    view = Page(browser, example_html)
    try:
        page = view.page
        entry = page.query_selector(".accordion:has(.sv)")
        assert entry is not None
        listing = entry.query_selector(".sv")
        assert not listing.is_visible()
        entry.query_selector("label.accordion-header").click()
        assert listing.is_visible()
        assert entry.query_selector(".sv-head") is not None
        cell = entry.query_selector(".sv-row .cell.miss, .sv-row .cell.hit")
        cell.hover()
        assert cell.get_attribute("data-tip").startswith(("Valid", "Invalid"))
        page.click("#toggle-all")
        assert page.inner_text("#toggle-text") in ("Collapse all", "Expand all")
        assert view.errors == []
    finally:
        view.close()


HOSTILE = {
    "openapi": "3.0.3",
    "info": {"title": "<script>alert('title')</script>", "version": "1"},
    "paths": {
        "/users/{id}": {
            "get": {
                "tags": ["<img src=x onerror=alert('tag')>"],
                "parameters": [{"name": "id", "in": "path", "required": True, "schema": {"$ref": "#/components/schemas/Id"}}],
                "responses": {"200": {"description": "<script>alert('description')</script>"}},
            }
        },
        "/users/(id)": {"get": {"responses": {"200": {"description": "ok"}}}},
    },
    "components": {
        "schemas": {
            "Id": {"type": "integer", "minimum": 1, "description": "</span><script>alert('schema')</script>"},
        }
    },
}


def test_document_texts_stay_text_and_ids_are_unique(browser, tmp_path):
    coverage = CoverageMap.from_dict(HOSTILE)
    coverage.record_error("GET", "/users/{id}", "`<b>` broke")
    html = tmp_path / "hostile.html"
    title = "<script>alert('report')</script> & friends"
    coverage.save_html_report(output_file=str(html), title=title)
    assert html.read_text(encoding="utf-8").count("<script>") == 1
    assert coverage.generate_html_report(title=title).count("<script>") == 1

    view = Page(browser, html)
    try:
        page = view.page
        assert view.dialogs == []
        assert view.errors == []
        assert page.title() == title
        assert page.inner_text("h1") == title
        # GET /users/(id) comes first in the document's order; the second slug gets "-2".
        assert page.query_selector("#op-get--users--id-") is not None
        assert page.query_selector("#op-get--users--id--2") is not None
        assert page.inner_text(".group-name >> nth=0").startswith("<img")
        page.click("label[for=acc-toggle2]")
        assert "<script>alert('description')</script>" in page.inner_text("#op-get--users--id--2")
        assert page.inner_text("#op-get--users--id--2 .op-errors") == "<b> broke"
        # The parameter's schema is a reference to its only component: the viewer shows that one.
        assert page.inner_text("#op-get--users--id--2 .ic-n") == "Id"
        assert page.is_visible("#op-get--users--id--2 .sv")
        assert view.dialogs == []
    finally:
        view.close()


def test_empty_map_page(browser, tmp_path):
    coverage = CoverageMap.from_dict({"openapi": "3.1.0", "paths": {}})
    html = tmp_path / "nested" / "dir" / "empty.html"
    coverage.save_html_report(output_file=str(html))
    view = Page(browser, html)
    try:
        page = view.page
        assert view.errors == []
        assert page.title() == "Vantorel Report"
        assert page.eval_on_selector_all(".mc .big", "els => els.map(e => e.textContent)") == ["—%"] * 5
        assert not page.is_visible("#empty-state")
        for chip in ["covered", "partial", "uncovered", "unmeasurable"]:
            page.click(f".filter-chip[data-filter={chip}]")
        # No entry at all: nothing to hide, so the empty state stays hidden.
        assert not page.is_visible("#empty-state")
    finally:
        view.close()
