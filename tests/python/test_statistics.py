"""Coverage numbers from Python: statistic(), check_thresholds() and its argument conversion.

The maps are built from small documents and filled through `record`, so the numbers are the ones
recording leaves behind, read back through the same locked section a test gate would use.
"""

import ast
import inspect
import pathlib

import pytest

from vantorel_community import CoverageMap


def document(paths):
    return {"openapi": "3.1.0", "info": {"title": "t", "version": "1"}, "paths": paths}


def get(parameters=(), responses=None):
    return {
        "parameters": list(parameters),
        "responses": responses if responses is not None else {"200": {"description": "ok"}},
    }


def query(name, schema):
    return {"name": name, "in": "query", "schema": schema}


class Request:
    def __init__(self, url, method="GET"):
        self.method = method
        self.url = url
        self.headers = {}
        self.body = None


class Response:
    def __init__(self, status_code=200, elapsed=0.5, body=None):
        self.status_code = status_code
        self.elapsed = elapsed
        self.headers = {"Content-Type": "application/json"}
        self.body = body


def record(coverage, url, method="GET", status=200, timestamp=10.0, body=None):
    coverage.record(Request(url, method), Response(status, body=body), timestamp=timestamp)


# Four parameters with no keyword of their own: each is fully covered once it is sent.
FOUR_PARAMETERS = document({"/items": {"get": get(query(n, {}) for n in "abcd")}})


@pytest.fixture
def three_of_four():
    coverage = CoverageMap.from_dict(FOUR_PARAMETERS)
    record(coverage, "http://api.test/items?a=1&b=2&c=3")
    return coverage


def test_statistic_of_a_fresh_map_is_all_zero():
    stats = CoverageMap.from_dict(document({})).statistic()
    assert stats == {
        "operations": {"seen": 0, "total": 0, "timeline": []},
        "parameters": {"positive": 0, "negative": 0, "partial": 0, "full": 0, "total": 0, "timeline": []},
        "keywords": {"positive": 0, "negative": 0, "partial": 0, "full": 0, "total": 0, "timeline": []},
        "examples": {"seen": 0, "total": 0, "timeline": []},
        "responses": {"seen": 0, "total": 0, "elapsed_total_seconds": 0.0, "timeline": []},
        "response_keywords": {"reached": 0, "violated": 0, "total": 0},
    }
    assert isinstance(stats["responses"]["elapsed_total_seconds"], float)


def test_statistic_keys_come_in_their_fixed_order(three_of_four):
    stats = three_of_four.statistic()
    assert list(stats) == ["operations", "parameters", "keywords", "examples", "responses", "response_keywords"]
    assert [list(v) for v in stats.values()] == [
        ["seen", "total", "timeline"],
        ["positive", "negative", "partial", "full", "total", "timeline"],
        ["positive", "negative", "partial", "full", "total", "timeline"],
        ["seen", "total", "timeline"],
        ["seen", "total", "elapsed_total_seconds", "timeline"],
        ["reached", "violated", "total"],
    ]


def test_statistic_after_recording(three_of_four):
    record(three_of_four, "http://api.test/items", status=404, timestamp=12.0)  # undeclared status
    stats = three_of_four.statistic()
    assert stats["operations"] == {"seen": 1, "total": 1, "timeline": [(10.0, 1)]}
    assert stats["parameters"] == {
        "positive": 3,
        "negative": 0,
        "partial": 0,
        "full": 3,
        "total": 4,
        "timeline": [(10.0, 3)],  # three parameters covered at the same instant: one point
    }
    assert stats["responses"] == {"seen": 1, "total": 1, "elapsed_total_seconds": 0.5, "timeline": [(10.0, 1)]}


def test_keywords_graded_by_the_values_sent():
    coverage = CoverageMap.from_dict(
        document({"/items": {"get": get([query("n", {"type": "integer", "minimum": 1})])}})
    )
    record(coverage, "http://api.test/items?n=5", timestamp=10.0)
    record(coverage, "http://api.test/items?n=0", timestamp=11.0)
    stats = coverage.statistic()
    # `type` only passed (partial); `minimum` passed and failed (full, covered at 11).
    assert stats["keywords"] == {
        "positive": 2,
        "negative": 1,
        "partial": 1,
        "full": 1,
        "total": 2,
        "timeline": [(11.0, 1)],
    }
    assert stats["parameters"]["partial"] == 1
    assert stats["parameters"]["full"] == 0


def test_response_keywords_reached_and_violated():
    body_schema = {"type": "object", "required": ["id"]}
    responses = {"200": {"description": "ok", "content": {"application/json": {"schema": body_schema}}}}
    coverage = CoverageMap.from_dict(document({"/items": {"get": get(responses=responses)}}))
    assert coverage.statistic()["response_keywords"] == {"reached": 0, "violated": 0, "total": 2}
    record(coverage, "http://api.test/items", body=b'{"name": "x"}')  # `type` passes, `required` fails
    assert coverage.statistic()["response_keywords"] == {"reached": 2, "violated": 1, "total": 2}


TWO_OPERATIONS = document({"/a": {"get": get()}, "/b": {"get": get()}})


@pytest.mark.parametrize(
    "thresholds, expected",
    [
        ({}, []),
        ({"parameters": 80}, [{"dimension": "parameters", "actual": 75.0, "minimum": 80.0}]),
        ({"parameters": 75}, []),  # equal is not below
        ({"operations": 0, "parameters": 0, "responses": 0}, []),
        ({"operations": 100.5}, [{"dimension": "operations", "actual": 100.0, "minimum": 100.5}]),
        ({"parameters": float("nan")}, []),
        # No keywords, examples or response keywords in the document: those totals are 0.
        ({"keywords": 90, "examples": 90, "response_keywords": 100}, []),
        (
            {"response_keywords": 1, "responses": 101, "parameters": 101.0},
            [
                {"dimension": "parameters", "actual": 75.0, "minimum": 101.0},
                {"dimension": "responses", "actual": 100.0, "minimum": 101.0},
            ],
        ),
    ],
)
def test_check_thresholds(three_of_four, thresholds, expected):
    result = three_of_four.check_thresholds(**thresholds)
    assert result == expected
    for failure in result:
        assert list(failure) == ["dimension", "actual", "minimum"]
        assert type(failure["actual"]) is float and type(failure["minimum"]) is float


def test_check_thresholds_at_exactly_half_and_on_an_empty_map():
    coverage = CoverageMap.from_dict(TWO_OPERATIONS)
    record(coverage, "http://api.test/a")
    assert coverage.check_thresholds(operations=50) == []
    assert coverage.check_thresholds(operations=50.1) == [
        {"dimension": "operations", "actual": 50.0, "minimum": 50.1}
    ]
    assert CoverageMap.from_dict(document({})).check_thresholds(operations=100) == []


def test_failing_dimensions_are_all_reported_in_dimension_order():
    coverage = CoverageMap.from_dict(
        document({"/items": {"get": get([query("n", {"type": "integer", "minimum": 1})])}})
    )
    record(coverage, "http://api.test/items?n=5")
    result = coverage.check_thresholds(response_keywords=None, keywords=90, parameters=90, operations=90)
    assert [f["dimension"] for f in result] == ["parameters", "keywords"]
    assert result[1]["actual"] == 0.0


class AsFloat:
    def __float__(self):
        return 80.0


class AsIndex:
    def __index__(self):
        return 80


@pytest.mark.parametrize("minimum", [80, 80.0, AsFloat(), AsIndex(), 2**70])
def test_threshold_values_through_the_float_protocol(three_of_four, minimum):
    [failure] = three_of_four.check_thresholds(parameters=minimum)
    assert failure["minimum"] == float(minimum)
    assert three_of_four.check_thresholds(parameters=True) == []  # True is 1.0


@pytest.mark.parametrize(
    "arguments, error, note",
    [
        ({"operations": "80"}, TypeError, "while processing 'operations'"),
        ({"parameters": 10, "keywords": [90]}, TypeError, "while processing 'keywords'"),
        ({"response_keywords": 10**400}, OverflowError, "while processing 'response_keywords'"),
        ({"examples": 10, "label": 3}, TypeError, "while processing 'label'"),
    ],
)
def test_threshold_conversion_errors(three_of_four, arguments, error, note):
    with pytest.raises(error) as raised:
        three_of_four.check_thresholds(**arguments)
    assert raised.value.__notes__ == [note]


def test_check_thresholds_arguments_are_keyword_only(three_of_four):
    with pytest.raises(TypeError):
        three_of_four.check_thresholds(80)
    with pytest.raises(TypeError):
        three_of_four.check_thresholds(coverage=80)


def test_label_thresholds_refuse_a_label_no_traffic_carried(three_of_four):
    # A typo in a gate's label must not pass or fail it on numbers that are nobody's.
    with pytest.raises(ValueError, match="unknown label 'smoke'"):
        three_of_four.check_thresholds(parameters=10, label="smoke")
    assert three_of_four.check_thresholds(parameters=10, label=None) == []


@pytest.mark.parametrize(
    "member, signature",
    [
        ("statistic", "(self, /)"),
        (
            "check_thresholds",
            "(self, /, *, operations=None, parameters=None, keywords=None, examples=None, responses=None, "
            "response_keywords=None, label=None)",
        ),
    ],
)
def test_statistics_text_signatures(member, signature):
    assert str(inspect.signature(getattr(CoverageMap, member))) == signature


def test_check_thresholds_docstring_says_what_the_stub_says():
    doc = CoverageMap.check_thresholds.__doc__
    assert doc.startswith("Check per-dimension coverage thresholds.")
    assert "it must be set explicitly" in doc
    stub = pathlib.Path(__file__).parents[2] / "src" / "python" / "vantorel_community.pyi"
    tree = ast.parse(stub.read_text(encoding="utf-8"))
    [cls] = [n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "CoverageMap"]
    methods = {n.name: n for n in cls.body if isinstance(n, ast.FunctionDef)}
    for name in ("statistic", "check_thresholds", "dropped_requests", "unmatched_overflow", "label_overflow"):
        assert name in methods
    assert ast.get_docstring(methods["check_thresholds"]) == inspect.cleandoc(doc)


@pytest.mark.skipif(
    not hasattr(CoverageMap, "_hold_lock_and_call"), reason="the module was built without -DVC_PYTHON_TEST_HOOKS=ON"
)
@pytest.mark.parametrize(
    "call",
    [lambda m: m.statistic(), lambda m: m.check_thresholds(parameters=80)],
    ids=["statistic", "check_thresholds"],
)
def test_reentrant_call_raises_instead_of_deadlocking(three_of_four, call):
    with pytest.raises(RuntimeError, match="re-entrantly"):
        three_of_four._hold_lock_and_call(lambda: call(three_of_four))
    assert call(three_of_four)  # the lock is free again


def test_unroutable_templates_count_nowhere_until_hit():
    coverage = CoverageMap.from_dict(
        document(
            {
                "/broken/{id": {"get": get([query("q", {})])},  # an unclosed "{" cannot be routed
                "/a": {"get": get()},
                "/b": {"get": get()},
                "/c": {"get": get()},
            }
        )
    )
    stats = coverage.statistic()
    assert stats["operations"]["total"] == 3
    assert stats["parameters"]["total"] == 0
    assert stats["responses"]["total"] == 3
    record(coverage, "http://api.test/a")
    # 1 of 3, unrounded.
    assert coverage.check_thresholds(operations=50) == [
        {"dimension": "operations", "actual": 33.333333333333336, "minimum": 50.0}
    ]
