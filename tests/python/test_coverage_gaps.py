"""coverage_gaps(): every place the recorded traffic left uncovered, in report order."""

import pytest

from vantorel_community import CoverageMap

NUMBER = "$vantorel_number"


def document(paths):
    return {"openapi": "3.1.0", "info": {"title": "t", "version": "1"}, "paths": paths}


class Request:
    def __init__(self, url, method="GET", body=None, headers=None):
        self.method = method
        self.url = url
        self.headers = headers or {}
        self.body = body


class Response:
    def __init__(self, status_code=200):
        self.status_code = status_code
        self.elapsed = 0.1
        self.headers = {}
        self.body = None


def test_never_called_operation_lists_operation_responses_default_then_parameters():
    # A document read from a dict keeps its members in key order, so 200 is the first response.
    coverage = CoverageMap.from_dict(
        document(
            {
                "/pets": {
                    "get": {
                        "parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer"}}],
                        "responses": {
                            "404": {"description": "no"},
                            "200": {"description": "ok"},
                            "default": {"description": "other"},
                        },
                    }
                }
            }
        )
    )
    gaps = coverage.coverage_gaps()
    assert gaps == [
        {"kind": "operation_unseen", "method": "GET", "path": "/pets"},
        {"kind": "response_uncovered", "method": "GET", "path": "/pets", "status_code": "200"},
        {"kind": "response_uncovered", "method": "GET", "path": "/pets", "status_code": "404"},
        {"kind": "response_uncovered", "method": "GET", "path": "/pets", "status_code": "default"},
        {"kind": "parameter_uncovered", "method": "GET", "path": "/pets", "location": "query", "parameter": "limit"},
    ]
    assert [list(g) for g in gaps[:2]] == [["kind", "method", "path"], ["kind", "method", "path", "status_code"]]


def test_a_covered_map_has_no_gaps_and_one_sided_keywords_show_their_missing_side():
    coverage = CoverageMap.from_dict(
        document(
            {
                "/items": {
                    "get": {
                        "parameters": [{"name": "n", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
                        "responses": {"200": {"description": "ok"}},
                    }
                }
            }
        )
    )
    coverage.record(Request("http://api.test/items?n=5"), Response(200))
    gaps = coverage.coverage_gaps()
    assert {(g["kind"], g["schema_path"], g["satisfiability"]) for g in gaps} >= {
        ("keyword_needs_invalid", "/minimum", "Normal")
    }
    assert all(list(g) == ["kind", "method", "path", "location", "parameter", "schema_path", "satisfiability"] for g in gaps)
    coverage.record(Request("http://api.test/items?n=0"), Response(200))
    coverage.record(Request("http://api.test/items?n=x"), Response(200))
    assert coverage.coverage_gaps() == []


def test_unseen_examples_carry_their_value_with_exact_numbers():
    coverage = CoverageMap.from_dict(
        document(
            {
                "/items": {
                    "post": {
                        "requestBody": {
                            "content": {
                                "application/json": {
                                    "schema": {"type": "object", "examples": [{"n": 1.50}, {"n": 2}]}
                                }
                            }
                        },
                        "responses": {"200": {"description": "ok"}},
                    }
                }
            }
        )
    )
    coverage.record(
        Request("http://api.test/items", "POST", b'{"n": 2}', {"Content-Type": "application/json"}), Response(200)
    )
    examples = [g for g in coverage.coverage_gaps() if g["kind"] == "example_unseen"]
    assert examples == [
        {
            "kind": "example_unseen",
            "method": "POST",
            "path": "/items",
            "location": "body",
            "parameter": "application/json",
            "example": {"n": {NUMBER: "1.5"}},
        }
    ]


def test_unroutable_never_hit_operations_give_no_gaps():
    coverage = CoverageMap.from_dict(document({"/broken/{id": {"get": {"responses": {"200": {"description": "ok"}}}}}))
    assert coverage.coverage_gaps() == []


def test_order_across_operations():
    ok = {"responses": {"200": {"description": "ok"}}}
    coverage = CoverageMap.from_dict(document({"/b": {"get": ok}, "/a/x": {"put": ok, "post": ok}, "/a": {"get": ok, "delete": ok}}))
    unseen = [(g["method"], g["path"]) for g in coverage.coverage_gaps() if g["kind"] == "operation_unseen"]
    assert unseen == [("DELETE", "/a"), ("GET", "/a"), ("POST", "/a/x"), ("PUT", "/a/x"), ("GET", "/b")]


def test_takes_no_arguments():
    coverage = CoverageMap.from_dict(document({}))
    with pytest.raises(TypeError):
        coverage.coverage_gaps(1)
    assert coverage.coverage_gaps() == []
