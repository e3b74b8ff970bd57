"""Report data as Python objects: the JSON report's shapes built without JSON text in between."""

import json

import pytest

from exchange_objects import Request, Response
from vantorel_community import CoverageMap


DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {
        "/pets/{id}": {
            "get": {
                "operationId": "getPet",
                "parameters": [
                    {"name": "id", "in": "path", "required": True, "schema": {"type": "integer", "minimum": 1}},
                    {"name": "b", "in": "query", "schema": {"type": "string", "maxLength": 3}},
                    {"name": "a", "in": "header", "schema": {"$ref": "#/components/schemas/Missing"}},
                ],
                "responses": {
                    "200": {
                        "description": "ok",
                        "content": {"application/json": {"schema": {"type": "object", "required": ["name"]}}},
                    },
                    "default": {"description": "other"},
                },
            },
            "delete": {"responses": {"204": {"description": "gone"}}},
        }
    },
}


@pytest.fixture
def coverage():
    c = CoverageMap.from_dict(DOCUMENT, location="pets.json")
    c.record(Request("http://api.test/pets/3?b=xy"), Response(200, 0.5, b'{"name": "rex"}'), labels=["smoke", "a b"])
    c.record(Request("http://api.test/pets/0?b=long!"), Response(200, 0.25, b"{}"), labels="smoke")
    c.record(Request("http://api.test/pets/3", "DELETE"), Response(418, 0.125), timestamp=5.0)
    c.record(Request("http://api.test/owners"), Response(200), timestamp=7.0)
    c.record(Request("http://api.test/owners", "POST"), Response(200), timestamp=6.0)
    c.record(Request("http://api.test/owners"), Response(200), timestamp=8.0)
    c.record_error("GET", "/pets/{id}", "b")
    c.record_error("GET", "/pets/{id}", "a")
    return c


def test_build_json_report_equals_the_json_report_read_back(coverage):
    built = coverage.build_json_report()
    read = json.loads(coverage.generate_json_report())
    assert built.pop("generated_at") and read.pop("generated_at")
    assert built == read
    # Key order at every level is the JSON report's.
    assert list(built) == list(read)
    assert list(built["operations"][0]) == list(read["operations"][0])
    assert list(built["summary"]["parameters"]) == ["covered", "partial", "total", "percent"]
    assert list(built["labels"]) == ["a b", "smoke"]


def test_a_map_without_anything_has_the_fixed_keys_only():
    report = CoverageMap.from_dict({"openapi": "3.1.0", "info": {"title": "t", "version": "1"}, "paths": {}}).build_json_report()
    assert list(report) == ["$schema", "version", "vantorel_version", "generated_at", "summary", "operations"]
    assert report["operations"] == []
    assert all(r["percent"] is None for r in report["summary"].values())


def test_operation_report_finds_the_template_by_its_text(coverage):
    lower = coverage.operation_report("get", "/pets/{id}")
    assert lower["method"] == "get" and lower["operation_id"] == "getPet"
    assert lower["errors"] == ["a", "b"]
    assert [r["status"] for r in lower["responses"]] == ["200", "default"]
    for method, path in [("GET", "/pets/1"), ("FETCH", "/pets/{id}"), ("PUT", "/pets/{id}")]:
        assert coverage.operation_report(method, path) is None
    delete = coverage.operation_report("DELETE", "/pets/{id}")
    assert list(delete) == ["method", "path", "hits", "coverage", "parameters", "responses", "unexpected_responses", "errors"]
    assert delete["unexpected_responses"] == [{"status": "418", "hits": 1, "avg_elapsed_ms": 125.0}]
    with pytest.raises(TypeError) as raised:
        coverage.operation_report(b"GET", "/pets/{id}")
    assert raised.value.__notes__ == ["while processing 'method'"]
    assert coverage.operation_reports() == coverage.build_json_report()["operations"]


def test_diagnostics_name_their_position(coverage):
    [broken] = [d for d in coverage.diagnostics() if d["kind"] == "unresolvable_reference"]
    assert broken["at"] == {"path": "/pets/{id}", "in": "parameter", "method": "GET", "location": "header", "name": "a"}
    assert list(broken)[:2] == ["severity", "kind"] and list(broken)[-1] == "at"


def test_unmatched_requests_most_frequent_first(coverage):
    groups = coverage.unmatched_requests()
    assert [(g["method"], g["path"], g["count"]) for g in groups] == [("GET", "/owners", 2), ("POST", "/owners", 1)]
    assert list(groups[0]) == ["method", "host", "path", "reason", "count", "first_seen_at"]
    assert groups[0]["first_seen_at"] == 7.0 and groups[0]["reason"] == "no_matching_path"


def test_uncovered_keywords_order_and_states(coverage):
    assert coverage.uncovered_keywords() == [
        {
            "method": "GET",
            "path": "/pets/{id}",
            "location": "path",
            "parameter": "id",
            "schema_path": "/type",
            "state": "needs_invalid",
            "satisfiability": "Normal",
        }
    ]
    never_called = CoverageMap.from_dict(
        {
            "openapi": "3.1.0",
            "info": {"title": "t", "version": "1"},
            "paths": {
                "/x": {
                    "get": {
                        "parameters": [
                            {"name": "b", "in": "query", "schema": {"minimum": 1}},
                            {"name": "a", "in": "header", "schema": {"maxLength": 2}},
                        ],
                        "responses": {"200": {"description": "ok"}},
                    }
                }
            },
        }
    )
    rows = [(r["parameter"], r["location"], r["schema_path"], r["state"]) for r in never_called.uncovered_keywords()]
    assert rows == [("a", "header", "/maxLength", "miss"), ("b", "query", "/minimum", "miss")]
