"""Records every request the tests make through Flask's test client into one CoverageMap of
openapi.yaml, and prints the coverage at the end of the run.

Until the package has its own Flask integration, the adapter below reads Flask's test-client request
and response into the objects `CoverageMap.record` reads: any object with `method`, `url`, `headers`
and `body`, and one with `status_code`, `elapsed`, `body` and `headers`.
"""

import io
import json
import os
import pathlib
import sys
import time

import pytest
from flask.testing import EnvironBuilder, FlaskClient
from werkzeug.wrappers import Request

from vantorel_community import CoverageMap

HERE = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(HERE))

from app import create_app  # noqa: E402

MAP = pytest.StashKey[CoverageMap]()
RECORDED = pytest.StashKey[list]()


class RecordedRequest:
    __slots__ = ("method", "url", "headers", "body")

    def __init__(self, method, url, headers, body):
        self.method = method
        self.url = url
        self.headers = headers
        self.body = body


class RecordedResponse:
    __slots__ = ("status_code", "elapsed", "body", "headers")

    def __init__(self, status_code, elapsed, body, headers):
        self.status_code = status_code
        self.elapsed = elapsed
        self.body = body
        self.headers = headers


class RecordingClient(FlaskClient):
    """A test client that records each request and its response before returning the response.

    Takes the usual call form, `client.get("/v1/pets", query_string=..., json=...)`. The request is
    built here rather than read back from the response, because the application has consumed its
    body stream by then.
    """

    def __init__(self, *args, coverage_map, recorded, **kwargs):
        super().__init__(*args, **kwargs)
        self._coverage_map = coverage_map
        self._recorded = recorded

    def open(self, *args, buffered=False, follow_redirects=False, **kwargs):
        if args and not isinstance(args[0], str):
            raise TypeError("RecordingClient takes a path and keyword arguments, not a prepared request")
        builder = EnvironBuilder(self.application, *args, **kwargs)
        try:
            environ = builder.get_environ()
        finally:
            builder.close()
        body = environ["wsgi.input"].read()
        environ["wsgi.input"] = io.BytesIO(body)
        sent = Request(environ)
        request = RecordedRequest(sent.method, sent.url, sent.headers, body or None)
        start = time.perf_counter()
        response = super().open(environ, buffered=buffered, follow_redirects=follow_redirects)
        elapsed = time.perf_counter() - start
        self._coverage_map.record(
            request, RecordedResponse(response.status_code, elapsed, response.get_data(), response.headers)
        )
        self._recorded.append(f"{sent.method} {sent.path} {response.status_code}")
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
    app.test_client_class = RecordingClient
    with app.test_client(coverage_map=coverage_map, recorded=pytestconfig.stash[RECORDED]) as c:
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
