"""suggestions(): requests that reach the uncovered keyword checks, replayed as real traffic."""

import json
import urllib.parse

import pytest

from vantorel_community import CoverageMap

NUMBER = "$vantorel_number"


class Request:
    def __init__(self, url, method="GET", body=None, headers=None):
        self.method = method
        self.url = url
        self.headers = headers or {}
        self.body = body


class Response:
    status_code = 200
    elapsed = 0.1
    headers = {}
    body = None


def document(operation):
    return {"openapi": "3.1.0", "info": {"title": "t", "version": "1"}, "paths": {"/items": {"post": operation}}}


def plain(value):
    """A suggested value with its number-marker dicts turned back into numbers."""
    if isinstance(value, dict):
        if list(value) == [NUMBER]:
            return json.loads(value[NUMBER])
        return {k: plain(v) for k, v in value.items()}
    if isinstance(value, list):
        return [plain(v) for v in value]
    return value


def open_sides(coverage):
    """(parameter, schema path, side) of every keyword side the recorded traffic has not reached."""
    sides = set()
    for g in coverage.coverage_gaps():
        if not g["kind"].startswith("keyword_"):
            continue
        key = (g["parameter"], g["schema_path"])
        if g["kind"] == "keyword_needs_valid":
            sides.add(key + ("valid",))
        elif g["kind"] == "keyword_needs_invalid":
            sides.add(key + ("invalid",))
        else:
            if g["satisfiability"] != "Negative":
                sides.add(key + ("valid",))
            if g["satisfiability"] != "Positive":
                sides.add(key + ("invalid",))
    return sides


def claims(suggestion, requests):
    return {
        (suggestion["gaps"][i]["parameter"], suggestion["gaps"][i]["pointer"], suggestion["gaps"][i]["polarity"])
        for r in requests
        for i in r["covers"]
    }


def check_shape(suggestion):
    claimed = {i for r in suggestion["requests"] for i in r["covers"]}
    unreached = {u["gap"] for u in suggestion["uncovered"]}
    assert not claimed & unreached
    if suggestion["hidden"] == 0:
        assert claimed | unreached == set(range(len(suggestion["gaps"])))
    assert all(list(r) == ["polarity", "value", "covers"] for r in suggestion["requests"])
    assert all(r["covers"] == sorted(set(r["covers"])) for r in suggestion["requests"])


def test_query_suggestions_replayed_close_the_gaps_they_claim():
    coverage = CoverageMap.from_dict(
        document(
            {
                "parameters": [
                    {"name": "n", "in": "query", "schema": {"type": "integer", "minimum": 1, "maximum": 10}},
                    {"name": "s", "in": "query", "schema": {"type": "string", "enum": ["a", "b"], "maxLength": 1}},
                ],
                "responses": {"200": {"description": "ok"}},
            }
        )
    )
    coverage.record(Request("http://api.test/items?n=3&s=a", "POST"), Response())
    [suggestion] = coverage.suggestions()
    assert list(suggestion) == ["method", "path", "location", "gaps", "requests", "hidden", "uncovered"]
    assert (suggestion["method"], suggestion["path"], suggestion["location"]) == ("POST", "/items", "query")
    check_shape(suggestion)
    assert {(g["parameter"], g["pointer"], g["polarity"]) for g in suggestion["gaps"]} == open_sides(coverage)
    # Replay what a query can carry as the same value: integers for n, texts for s.
    replayable = []
    for request in suggestion["requests"]:
        [(name, value)] = plain(request["value"]).items()
        if (name == "n" and type(value) is int) or (name == "s" and isinstance(value, str)):
            replayable.append(request)
            coverage.record(Request("http://api.test/items?" + urllib.parse.urlencode({name: value}), "POST"), Response())
    assert replayable
    assert not claims(suggestion, replayable) & open_sides(coverage)


def test_body_suggestions_replayed_leave_only_the_gaps_listed_as_uncovered():
    schema = {
        "type": "object",
        "required": ["name"],
        "properties": {
            "name": {"type": "string", "minLength": 2, "maxLength": 5},
            "age": {"type": "integer", "minimum": 0, "exclusiveMaximum": 150},
            "tags": {"type": "array", "items": {"type": "string"}, "maxItems": 2, "uniqueItems": True},
        },
        "additionalProperties": False,
    }
    coverage = CoverageMap.from_dict(
        document(
            {
                "requestBody": {"content": {"application/json": {"schema": schema}}},
                "responses": {"200": {"description": "ok"}},
            }
        )
    )
    [suggestion] = coverage.suggestions()
    assert suggestion["location"] == "body" and suggestion["media_type"] == "application/json"
    assert all(g["parameter"] == "application/json" for g in suggestion["gaps"])
    assert suggestion["requests"] and len(suggestion["requests"]) <= 8
    check_shape(suggestion)
    for request in suggestion["requests"]:
        body = json.dumps(plain(request["value"])).encode()
        coverage.record(
            Request("http://api.test/items", "POST", body, {"Content-Type": "application/json"}), Response()
        )
    assert not claims(suggestion, suggestion["requests"]) & open_sides(coverage)
    unreached = {suggestion["gaps"][u["gap"]]["pointer"] for u in suggestion["uncovered"]}
    if suggestion["hidden"] == 0:
        assert {p for _, p, _ in open_sides(coverage)} <= unreached
    # Valid and invalid requests both appear.
    assert {r["polarity"] for r in suggestion["requests"]} == {"valid", "invalid"}


def test_covered_maps_and_unmeasured_operations_have_no_suggestions():
    coverage = CoverageMap.from_dict(
        {
            "openapi": "3.1.0",
            "info": {"title": "t", "version": "1"},
            "paths": {
                "/broken/{id": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"minimum": 1}}],
                                         "responses": {"200": {"description": "ok"}}}},
                "/plain": {"get": {"responses": {"200": {"description": "ok"}}}},
            },
        }
    )
    assert coverage.suggestions() == []


def test_gaps_no_candidate_reaches_are_listed_with_a_reason():
    coverage = CoverageMap.from_dict(
        document(
            {
                "parameters": [
                    {"name": "code", "in": "query", "schema": {"type": "string", "pattern": "^[A-Z]{3}-[0-9]{4}$"}},
                    {"name": "never", "in": "query", "schema": {"type": "integer", "minimum": 5, "maximum": 1}},
                ],
                "responses": {"200": {"description": "ok"}},
            }
        )
    )
    [suggestion] = coverage.suggestions()
    reasons = {
        (suggestion["gaps"][u["gap"]]["parameter"], suggestion["gaps"][u["gap"]]["pointer"], suggestion["gaps"][u["gap"]]["polarity"]): u["reason"]
        for u in suggestion["uncovered"]
    }
    assert reasons[("code", "/pattern", "valid")] == "exhausted"
    assert set(reasons.values()) <= {"unsupported", "unsatisfiable", "exhausted", "heavy"}
    assert all(list(u) == ["gap", "reason"] for u in suggestion["uncovered"])
