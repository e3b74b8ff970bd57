"""Counts export and merge from Python: the bytes round-trip, merging adds, the two refusals and
their messages, and pytest-xdist workers whose exports merge into the figures of one process."""

import json
import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

import vantorel_community
from vantorel_community import CoverageMap

MALFORMED = "coverage counts are malformed or from another Vantorel version"
OTHER_SPECIFICATION = "coverage counts were recorded against a different specification"

DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {
        "/items": {
            "get": {
                "parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer", "maximum": 10}}],
                "responses": {
                    "200": {
                        "description": "ok",
                        "content": {
                            "application/json": {
                                "schema": {"type": "array", "items": {"type": "object", "required": ["id"]}}
                            }
                        },
                    }
                },
            },
            "post": {
                "requestBody": {
                    "content": {
                        "application/json": {
                            "schema": {
                                "type": "object",
                                "properties": {"name": {"type": "string", "minLength": 1}},
                                "additionalProperties": False,
                            }
                        }
                    }
                },
                "responses": {"201": {"description": "made"}, "default": {"description": "error"}},
            },
        }
    },
}
OTHER_DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {"/items": {"get": {"responses": {"200": {"description": "ok"}}}}},
}


class Request:
    def __init__(self, method, url, body=None):
        self.method = method
        self.url = url
        self.headers = {"Content-Type": "application/json"} if body is not None else {}
        self.body = body


class Response:
    def __init__(self, status_code, body=None):
        self.status_code = status_code
        self.elapsed = 0.5
        self.headers = {"Content-Type": "application/json"}
        self.body = body


def record_traffic(coverage):
    coverage.record(Request("GET", "http://api.test/items?limit=3"), Response(200, b'[{"id": 1}]'), 100.0, ["t1"])
    coverage.record(Request("GET", "http://api.test/items?limit=30"), Response(200, b"[{}]"), 101.0, ["t2"])
    coverage.record(Request("POST", "http://api.test/items", b'{"name": "a"}'), Response(201), 102.0, "t1")
    coverage.record(Request("POST", "http://api.test/items", b'{"x": 1}'), Response(422), 103.0)
    coverage.record(Request("GET", "http://api.test/items?limit=1"), Response(599), 104.0)
    coverage.record(Request("PUT", "http://api.test/items"), Response(405), 105.0, ["t3"])
    coverage.record(Request("GET", "http://api.test/elsewhere"), Response(404), 106.0)
    coverage.record_error("GET", "/items", "the list came back unsorted")


def figures(coverage):
    """Everything the reports count, for comparing maps."""
    return {
        "statistic": coverage.statistic(),
        "labels": coverage.label_summaries(),
        "report": coverage.operation_reports() if hasattr(coverage, "operation_reports") else None,
        "dropped": coverage.dropped_requests(),
        "unmatched_overflow": coverage.unmatched_overflow(),
        "label_overflow": coverage.label_overflow(),
    }


def test_a_fresh_map_exports_its_slot_count_and_empty_sections():
    counts = CoverageMap.from_dict(DOCUMENT).export_counts()
    assert type(counts) is bytes
    assert counts[0] == 1
    # varint N, then K, J, label overflow, L, unmatched overflow and U, all zero.
    assert counts[-6:] == bytes(6)
    assert len(counts) <= 1 + 10 + 6


def test_merging_into_a_fresh_map_reproduces_the_source():
    source = CoverageMap.from_dict(DOCUMENT)
    record_traffic(source)
    counts = source.export_counts()
    target = CoverageMap.from_dict(DOCUMENT)
    assert target.merge_counts(counts) is None
    assert target.export_counts() == counts
    assert figures(target) == figures(source)


def test_merging_twice_adds_twice():
    source = CoverageMap.from_dict(DOCUMENT)
    record_traffic(source)
    counts = source.export_counts()
    once = CoverageMap.from_dict(DOCUMENT)
    once.merge_counts(counts)
    twice = CoverageMap.from_dict(DOCUMENT)
    twice.merge_counts(counts)
    twice.merge_counts(counts=counts)
    assert twice.export_counts() != once.export_counts()
    twice_figures, once_figures = twice.statistic(), once.statistic()
    elapsed = once_figures["responses"].pop("elapsed_total_seconds")
    assert elapsed > 0
    assert twice_figures["responses"].pop("elapsed_total_seconds") == 2 * elapsed
    # Coverage figures count distinct targets reached: doubling the traffic changes none of them.
    assert twice_figures == once_figures
    assert twice.label_summaries() == once.label_summaries()
    if hasattr(twice, "generate_json_report"):
        reports = json.loads(twice.generate_json_report())["operations"]
        once_reports = {(o["method"], o["path"]): o for o in json.loads(once.generate_json_report())["operations"]}
        for report in reports:
            assert report["hits"] == 2 * once_reports[report["method"], report["path"]]["hits"]


def test_two_workers_add_up_to_one_process():
    one = CoverageMap.from_dict(DOCUMENT)
    record_traffic(one)
    first = CoverageMap.from_dict(DOCUMENT)
    second = CoverageMap.from_dict(DOCUMENT)
    first.record(Request("GET", "http://api.test/items?limit=3"), Response(200, b'[{"id": 1}]'), 100.0, ["t1"])
    first.record(Request("POST", "http://api.test/items", b'{"name": "a"}'), Response(201), 102.0, "t1")
    first.record(Request("GET", "http://api.test/items?limit=1"), Response(599), 104.0)
    first.record(Request("GET", "http://api.test/elsewhere"), Response(404), 106.0)
    second.record(Request("GET", "http://api.test/items?limit=30"), Response(200, b"[{}]"), 101.0, ["t2"])
    second.record(Request("POST", "http://api.test/items", b'{"x": 1}'), Response(422), 103.0)
    second.record(Request("PUT", "http://api.test/items"), Response(405), 105.0, ["t3"])
    second.record_error("GET", "/items", "the list came back unsorted")
    merged = CoverageMap.from_dict(DOCUMENT)
    merged.merge_counts(second.export_counts())
    merged.merge_counts(first.export_counts())
    assert figures(merged) == figures(one)


@pytest.mark.parametrize(
    ("counts", "message"),
    [
        (b"", MALFORMED),
        (b"\x02", MALFORMED),
        (b"\x01", MALFORMED),
        (b"\x01\x05\x02\x00\x01\x00\x01" + bytes(6), MALFORMED),  # slot 0 twice
    ],
    ids=["empty", "version-2", "truncated", "repeated-slot"],
)
def test_malformed_counts_raise_and_change_nothing(counts, message):
    coverage = CoverageMap.from_dict(DOCUMENT)
    record_traffic(coverage)
    before = coverage.export_counts()
    with pytest.raises(ValueError) as raised:
        coverage.merge_counts(counts)
    assert str(raised.value) == message
    assert coverage.export_counts() == before


def test_one_extra_byte_is_malformed_and_a_version_byte_of_2_too():
    source = CoverageMap.from_dict(DOCUMENT)
    record_traffic(source)
    counts = source.export_counts()
    target = CoverageMap.from_dict(DOCUMENT)
    for bad in (counts + b"\x00", b"\x02" + counts[1:]):
        with pytest.raises(ValueError, match="^" + MALFORMED + "$"):
            target.merge_counts(bad)
    assert target.export_counts() == CoverageMap.from_dict(DOCUMENT).export_counts()


def test_counts_of_another_document_are_refused_with_their_own_message():
    other = CoverageMap.from_dict(OTHER_DOCUMENT)
    other.record(Request("GET", "http://api.test/items"), Response(200), 100.0)
    target = CoverageMap.from_dict(DOCUMENT)
    with pytest.raises(ValueError) as raised:
        target.merge_counts(other.export_counts())
    assert str(raised.value) == OTHER_SPECIFICATION


@pytest.mark.parametrize("counts", [bytearray(b"\x01"), memoryview(b"\x01"), "\x01", None])
def test_only_bytes_are_taken(counts):
    target = CoverageMap.from_dict(DOCUMENT)
    with pytest.raises(TypeError) as raised:
        target.merge_counts(counts)
    assert "is not an instance of 'bytes'" in str(raised.value)
    assert raised.value.__notes__ == ["while processing 'counts'"]


def test_a_bytes_subclass_is_taken():
    class Counts(bytes):
        pass

    source = CoverageMap.from_dict(DOCUMENT)
    record_traffic(source)
    target = CoverageMap.from_dict(DOCUMENT)
    target.merge_counts(Counts(source.export_counts()))
    assert target.export_counts() == source.export_counts()


SUITE = """
import pytest

from vantorel_community import CoverageMap


class Request:
    def __init__(self, method, url, body=None):
        self.method = method
        self.url = url
        self.headers = {"Content-Type": "application/json"} if body is not None else {}
        self.body = body


class Response:
    def __init__(self, status_code, body=None):
        self.status_code = status_code
        self.elapsed = 0.5
        self.headers = {"Content-Type": "application/json"}
        self.body = body


CASES = [
    ("GET", "http://api.test/items?limit=3", None, 200, b'[{"id": 1}]'),
    ("GET", "http://api.test/items?limit=30", None, 200, b"[{}]"),
    ("GET", "http://api.test/items?limit=x", None, 400, None),
    ("POST", "http://api.test/items", b'{"name": "a"}', 201, None),
    ("POST", "http://api.test/items", b'{"name": ""}', 422, None),
    ("POST", "http://api.test/items", b'{"x": 1}', 422, None),
    ("DELETE", "http://api.test/items", None, 405, None),
    ("GET", "http://api.test/nowhere", None, 404, None),
]


@pytest.mark.parametrize("case", range(len(CASES)))
def test_case(coverage, request, case):
    method, url, body, status, answer = CASES[case]
    label = request.node.name
    coverage.record(Request(method, url, body), Response(status, answer), 1000.0 + case, [label])
"""

CONFTEST = """
import json
import os
import pathlib

import pytest

from vantorel_community import CoverageMap

HERE = pathlib.Path(__file__).parent
_MAP = CoverageMap.from_dict(json.loads((HERE / "document.json").read_text()))


@pytest.fixture
def coverage():
    return _MAP


def pytest_sessionfinish(session):
    out = HERE / "counts" / os.environ.get("COUNTS_RUN", "run")
    out.mkdir(parents=True, exist_ok=True)
    worker = os.environ.get("PYTEST_XDIST_WORKER", "main")
    (out / f"{worker}.bin").write_bytes(_MAP.export_counts())
"""


def run_suite(directory, run, *arguments):
    module_dir = pathlib.Path(vantorel_community.__file__).parent
    # When this test itself runs inside a pytest-xdist worker, the suite must not take that
    # worker's identity for its own.
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PYTEST_", "_VANTOREL_"))}
    env["PYTHONPATH"] = os.pathsep.join([str(module_dir), env.get("PYTHONPATH", "")])
    env["COUNTS_RUN"] = run
    done = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", *arguments, str(directory)],
        cwd=directory,
        env=env,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert done.returncode == 0, done.stdout + done.stderr
    return sorted((directory / "counts" / run).glob("*.bin"))


def test_pytest_xdist_workers_merge_into_the_counts_of_one_process(tmp_path):
    pytest.importorskip("xdist")
    (tmp_path / "document.json").write_text(json.dumps(DOCUMENT))
    (tmp_path / "conftest.py").write_text(textwrap.dedent(CONFTEST))
    (tmp_path / "test_suite.py").write_text(textwrap.dedent(SUITE))

    [single] = run_suite(tmp_path, "single")
    workers = run_suite(tmp_path, "workers", "-n", "2")
    worker_names = {path.stem for path in workers}
    assert worker_names >= {"gw0", "gw1"}, worker_names

    one_process = CoverageMap.from_dict(DOCUMENT)
    one_process.merge_counts(single.read_bytes())
    merged = CoverageMap.from_dict(DOCUMENT)
    for path in workers:
        merged.merge_counts(path.read_bytes())
    assert figures(merged) == figures(one_process)
    assert len(merged.label_summaries()) == 8
    assert merged.covered_by("POST", "/items") == one_process.covered_by("POST", "/items")
