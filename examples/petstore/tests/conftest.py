"""Records every request the tests make through Flask's test client into one CoverageMap of
openapi.yaml, and prints the coverage at the end of the run.

The client is tracked by the package's Flask integration (`coverage.flask.track_client`), which
wraps the client's `open`: each request is recorded with its response, the time it took, and the
body that the test sent.
"""

import json
import os
import pathlib
import sys

import pytest
from flask.testing import FlaskClient

from vantorel_community import CoverageMap

HERE = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(HERE))

from app import create_app  # noqa: E402

MAP = pytest.StashKey[CoverageMap]()
RECORDED = pytest.StashKey[list]()


class CountingClient(FlaskClient):
    """A test client that notes each request it makes, for the summary at the end of the run."""

    def __init__(self, *args, recorded, **kwargs):
        super().__init__(*args, **kwargs)
        self._recorded = recorded

    def open(self, *args, **kwargs):
        response = super().open(*args, **kwargs)
        self._recorded.append(f"{response.request.method} {response.request.path} {response.status_code}")
        return response


def pytest_configure(config):
    config.stash[MAP] = CoverageMap.from_path(HERE / "openapi.yaml")
    config.stash[RECORDED] = []


@pytest.fixture(scope="session")
def coverage_map(pytestconfig):
    return pytestconfig.stash[MAP]


@pytest.fixture
def client(coverage_map, pytestconfig):
    """A fresh application per test, so that tests do not see each other's pets."""
    app = create_app()
    app.test_client_class = CountingClient
    with coverage_map.flask.track_client(app.test_client(recorded=pytestconfig.stash[RECORDED])) as c:
        yield c


def pytest_terminal_summary(terminalreporter, config):
    coverage = config.stash.get(MAP, None)
    if coverage is None:
        return
    write = terminalreporter.write_line
    terminalreporter.section("API coverage of openapi.yaml")
    recorded = config.stash[RECORDED]
    write(f"recorded {len(recorded)} requests, {len(set(recorded))} distinct (method, path, status)")
    write(coverage.generate_text_summary(colored=terminalreporter.hasmarkup))
    write(f"dropped requests    {coverage.dropped_requests()}")
    write(f"unmatched overflow  {coverage.unmatched_overflow()}")
    write(f"label overflow      {coverage.label_overflow()}")
    out = os.environ.get("VANTOREL_EXAMPLE_STATISTICS")
    if out:
        pathlib.Path(out).write_text(json.dumps(coverage.statistic(), indent=2) + "\n")
    # The HTML report, and the Markdown and JSON reports beside it.
    html = os.environ.get("VANTOREL_EXAMPLE_HTML")
    if html:
        html = pathlib.Path(html)
        coverage.save_html_report(output_file=str(html), title="Petstore API coverage")
        markdown = html.with_suffix(".md")
        coverage.save_markdown_report(output_file=str(markdown), report_url=html.name)
        report = html.with_suffix(".json")
        coverage.save_json_report(output_file=str(report))
        write(f"reports             {html}, {markdown.name}, {report.name}")
