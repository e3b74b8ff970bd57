"""Constraints no value can satisfy are reported as impossible, not as untested: the JSON report and
the diagnostics explain them, and the keyword counts stop asking for a value that cannot exist."""

import json

import pytest

from exchange_objects import Request, Response
from vantorel_community import CoverageMap


IMPOSSIBLE = {"type": "integer", "minimum": 5, "maximum": 3}
POSSIBLE = {"type": "integer", "minimum": 3, "maximum": 5}


def document(schema):
    return {
        "openapi": "3.1.0",
        "info": {"title": "t", "version": "1"},
        "paths": {
            "/count": {
                "post": {
                    "requestBody": {"required": True, "content": {"application/json": {"schema": schema}}},
                    "responses": {"204": {"description": "stored"}},
                }
            }
        },
    }


def recorded(schema, bodies):
    coverage = CoverageMap.from_dict(document(schema))
    for body in bodies:
        coverage.record(
            Request("http://api.test/count", "POST", json.dumps(body).encode(), {"Content-Type": "application/json"}),
            Response(204),
        )
    return coverage


def unsatisfiable(diagnostics):
    return [d for d in diagnostics if d["kind"] == "unsatisfiable"]


def test_the_impossible_constraint_is_explained():
    coverage = recorded(IMPOSSIBLE, [4])
    [found] = unsatisfiable(coverage.diagnostics())
    assert found["at"]["method"] == "POST" and found["at"]["path"] == "/count"
    keywords = {k for cause in found["causes"] for k in cause["keywords"]}
    assert {"minimum", "maximum"} <= keywords
    assert all(cause["pointer"] == "" for cause in found["causes"])

    report = json.loads(coverage.generate_json_report())
    [in_report] = unsatisfiable(report["diagnostics"])
    assert in_report["causes"] == [{"pointer": c["pointer"], "keywords": c["keywords"]} for c in found["causes"]]


def test_a_possible_constraint_is_not_explained():
    coverage = recorded(POSSIBLE, [4])
    assert unsatisfiable(coverage.diagnostics()) == []
    assert unsatisfiable(json.loads(coverage.generate_json_report()).get("diagnostics", [])) == []


@pytest.mark.parametrize("bodies", [[2, 6, "x"], [2, 6, "x", 2.5]])
def test_the_impossible_constraint_is_not_counted_uncovered(bodies):
    # Every keyword passed and failed; only the schema as a whole never passed, and it never can.
    coverage = recorded(IMPOSSIBLE, bodies)
    assert coverage.uncovered_keywords() == []
    keywords = coverage.statistic()["keywords"]
    assert (keywords["full"], keywords["partial"], keywords["total"]) == (3, 0, 3)
    assert [g for g in coverage.coverage_gaps() if g["kind"] != "example_unseen"] == []
    # The explanation stays, whatever the traffic.
    assert len(unsatisfiable(coverage.diagnostics())) == 1


def test_an_unresolvable_schema_is_analysed_no_further():
    coverage = recorded({"$ref": "#/components/schemas/Missing"}, [1])
    assert unsatisfiable(coverage.diagnostics()) == []


def test_the_example_shows_its_impossible_parameter():
    import pathlib

    example = pathlib.Path(__file__).resolve().parents[2] / "examples" / "petstore" / "openapi.yaml"
    coverage = CoverageMap.from_path(str(example))
    found = unsatisfiable(coverage.diagnostics())
    assert [(d["at"]["method"], d["at"]["path"], d["at"].get("name")) for d in found] == [("GET", "/v1/pets", "page")]
    assert {k for c in found[0]["causes"] for k in c["keywords"]} >= {"minimum", "maximum"}
