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


def _percent(covered, total):
    return f"{covered * 100 / total:5.1f}%" if total else "   n/a"


def pytest_terminal_summary(terminalreporter, config):
    coverage = config.stash.get(MAP, None)
    if coverage is None:
        return
    write = terminalreporter.write_line
    terminalreporter.section("API coverage of openapi.yaml")
    recorded = config.stash[RECORDED]
    write(f"recorded {len(recorded)} requests, {len(set(recorded))} distinct (method, path, status)")
    if hasattr(coverage, "statistic"):
        stats = coverage.statistic()
        rows = [
            ("operations", stats["operations"]["seen"], stats["operations"]["total"], "seen"),
            ("parameters", stats["parameters"]["full"], stats["parameters"]["total"], "fully covered"),
            ("keywords", stats["keywords"]["full"], stats["keywords"]["total"], "fully covered"),
            ("examples", stats["examples"]["seen"], stats["examples"]["total"], "seen"),
            ("responses", stats["responses"]["seen"], stats["responses"]["total"], "seen"),
            (
                "response keywords",
                stats["response_keywords"]["reached"],
                stats["response_keywords"]["total"],
                "reached",
            ),
        ]
        for name, covered, total, how in rows:
            write(f"{name:<18} {_percent(covered, total)}  {covered} of {total} {how}")
        out = os.environ.get("VANTOREL_EXAMPLE_STATISTICS")
        if out:
            pathlib.Path(out).write_text(json.dumps(stats, indent=2) + "\n")
    else:
        write("coverage statistics: not built yet in this version of vantorel_community")
    write(f"dropped requests    {coverage.dropped_requests()}")
    write(f"unmatched overflow  {coverage.unmatched_overflow()}")
    write(f"label overflow      {coverage.label_overflow()}")
    html = os.environ.get("VANTOREL_EXAMPLE_HTML")
    if html:
        coverage.save_html_report(output_file=html, title="Petstore API coverage")
        write(f"HTML report         {html}")
