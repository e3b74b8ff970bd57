"""Labels from Python: which labels reached an element (covered_by), each label's own summary in the
JSON report's shape, and thresholds checked against one label's coverage."""

import json

import pytest

from vantorel_community import CoverageMap

DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {
        "/pets": {
            "get": {
                "parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer", "maximum": 10}}],
                "responses": {
                    "200": {
                        "description": "ok",
                        "content": {
                            "application/json": {"schema": {"type": "array", "items": {"type": "string"}}},
                            "application/xml": {"schema": {"type": "array"}},
                        },
                    },
                    "default": {
                        "description": "error",
                        "content": {"application/json": {"schema": {"type": "object", "required": ["code"]}}},
                    },
                },
            },
            "post": {
                "requestBody": {
                    "content": {"application/json": {"schema": {"type": "object", "required": ["name"]}}}
                },
                "responses": {"201": {"description": "made"}},
            },
        }
    },
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
        self.elapsed = 0.1
        self.headers = {"Content-Type": "application/json"}
        self.body = body


@pytest.fixture
def labelled():
    coverage = CoverageMap.from_dict(DOCUMENT)
    coverage.record(Request("GET", "http://h/pets?limit=3"), Response(200, b'["a"]'), 10.0, ["test_list"])
    coverage.record(Request("GET", "http://h/pets?limit=30"), Response(500, b'{"code": 1}'), 11.0, ["test_bad_limit"])
    coverage.record(Request("GET", "http://h/pets?limit=1"), Response(200, b"[1]"), 12.0, ["test_list", "smoke"])
    coverage.record(Request("POST", "http://h/pets", b'{"name": "rex"}'), Response(201), 13.0, "test_create")
    coverage.record(Request("GET", "http://h/pets?limit=2"), Response(200, b"[]"), 14.0)
    return coverage


@pytest.mark.parametrize(
    ("arguments", "expected"),
    [
        ({"method": "GET", "path": "/pets"}, {"smoke": "valid", "test_bad_limit": "valid", "test_list": "valid"}),
        ({"method": "POST", "path": "/pets"}, {"test_create": "valid"}),
        (
            {"method": "GET", "path": "/pets", "location": "query", "name": "limit"},
            {"smoke": "valid", "test_bad_limit": "invalid", "test_list": "valid"},
        ),
        (
            {"method": "GET", "path": "/pets", "location": "query", "name": "limit", "keyword": "/maximum"},
            {"smoke": "valid", "test_bad_limit": "invalid", "test_list": "valid"},
        ),
        (
            {"method": "POST", "path": "/pets", "location": "body", "media_type": "application/json"},
            {"test_create": "valid"},
        ),
        ({"method": "GET", "path": "/pets", "status": "200"}, {"smoke": "valid", "test_list": "valid"}),
        ({"method": "GET", "path": "/pets", "status": "default"}, {"test_bad_limit": "valid"}),
        (
            {"method": "GET", "path": "/pets", "status": "200", "media_type": "application/json", "keyword": "/items/type"},
            {"smoke": "invalid", "test_list": "both"},
        ),
        (
            {"method": "GET", "path": "/pets", "status": "default", "keyword": "/required"},
            {"test_bad_limit": "valid"},
        ),
        ({"method": "GET", "path": "/pets", "status": "DEFAULT", "keyword": "/type"}, {"test_bad_limit": "valid"}),
    ],
)
def test_covered_by_names_the_labels_and_the_sides_they_reached(labelled, arguments, expected):
    reached = labelled.covered_by(**arguments)
    assert reached == expected
    assert list(reached) == sorted(reached)


@pytest.mark.parametrize(
    ("arguments", "message"),
    [
        ({"method": "GET", "path": "/cats"}, "no operation GET /cats"),
        ({"method": "PATCH", "path": "/pets"}, "no operation PATCH /pets"),
        ({"method": "GET", "path": "/pets", "location": "query", "name": "offset"}, "no query offset"),
        ({"method": "GET", "path": "/pets", "location": "query"}, "named by `name`"),
        ({"method": "GET", "path": "/pets", "location": "query", "name": "limit", "keyword": "/minimum"}, "no keyword /minimum"),
        ({"method": "GET", "path": "/pets", "location": "upstairs", "name": "limit"}, "unknown location"),
        ({"method": "GET", "path": "/pets", "status": "404"}, "no response 404"),
        ({"method": "GET", "path": "/pets", "status": "200", "keyword": "/type"}, "several bodies"),
        ({"method": "GET", "path": "/pets", "keyword": "/type"}, "belong to a parameter"),
        ({"method": "FETCH", "path": "/pets"}, "unknown HTTP method"),
    ],
)
def test_covered_by_refuses_elements_the_map_does_not_have(labelled, arguments, message):
    with pytest.raises(ValueError, match=message):
        labelled.covered_by(**arguments)


def test_covered_by_before_any_label_is_empty_but_still_checks_the_element():
    coverage = CoverageMap.from_dict(DOCUMENT)
    coverage.record(Request("GET", "http://h/pets?limit=3"), Response(200, b'["a"]'), 10.0)
    assert coverage.covered_by("GET", "/pets") == {}
    with pytest.raises(ValueError):
        coverage.covered_by("GET", "/dogs")


def test_label_summaries_are_the_json_reports_label_figures(labelled):
    summaries = labelled.label_summaries()
    assert list(summaries) == ["smoke", "test_bad_limit", "test_create", "test_list"]
    create = summaries["test_create"]
    assert labelled.label_summary("test_create") == create
    assert create["operations"] == {"covered": 1, "total": 2, "percent": 50.0}
    assert set(create) == {"operations", "parameters", "keywords", "examples", "responses", "response_keywords"}
    assert list(create["parameters"]) == ["covered", "partial", "total", "percent"]
    assert list(create["response_keywords"]) == ["reached", "violated", "total", "percent"]
    statistic = labelled.statistic()
    covered_key = {"operations": "seen", "parameters": "full", "keywords": "full", "examples": "seen",
                   "responses": "seen", "response_keywords": "reached"}
    for summary in summaries.values():
        for name, ratio in summary.items():
            assert ratio["total"] == statistic[name]["total"]
            assert ratio.get("covered", ratio.get("reached")) <= statistic[name][covered_key[name]]
    if hasattr(labelled, "generate_json_report"):
        assert summaries == json.loads(labelled.generate_json_report())["labels"]


def test_label_summary_of_an_unknown_label_is_none_and_a_map_without_labels_has_none(labelled):
    assert labelled.label_summary("never") is None
    assert CoverageMap.from_dict(DOCUMENT).label_summaries() == {}
    with pytest.raises(TypeError, match="while processing 'label'|not an instance of 'str'"):
        labelled.label_summary(5)


def test_thresholds_per_label_use_that_labels_coverage(labelled):
    # test_create reached 1 of 2 operations; all traffic reached both.
    assert labelled.check_thresholds(operations=100) == []
    assert labelled.check_thresholds(operations=100, label="test_create") == [
        {"dimension": "operations", "actual": 50.0, "minimum": 100.0}
    ]
    assert labelled.check_thresholds(operations=50, label="test_create") == []
    with pytest.raises(ValueError, match="unknown label 'nobody'"):
        labelled.check_thresholds(operations=10, label="nobody")


def test_merged_labels_answer_like_the_recorded_ones(labelled):
    merged = CoverageMap.from_dict(DOCUMENT)
    merged.merge_counts(labelled.export_counts())
    assert merged.label_summaries() == labelled.label_summaries()
    assert merged.covered_by("GET", "/pets", location="query", name="limit") == labelled.covered_by(
        "GET", "/pets", location="query", name="limit"
    )
