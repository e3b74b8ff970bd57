"""Measured schemas are checked against their draft's meta-schema while the map is built: a broken
schema becomes an "invalid_schema" diagnostic, and a bad `pattern` is left out and the schema
compiled again."""

import pytest

from vantorel_community import CoverageMap


def document(version, schema):
    return {
        "openapi": version,
        "info": {"title": "t", "version": "1"},
        "paths": {
            "/items": {
                "post": {
                    "requestBody": {"content": {"application/json": {"schema": schema}}},
                    "responses": {"200": {"description": "ok"}},
                }
            }
        },
    }


def diagnostics_of(kind, coverage):
    return [d for d in coverage.diagnostics() if d["kind"] == kind]


def unmeasured(coverage):
    """The schemas the map could not measure (the document checks also warn about schemas)."""
    return [d for d in diagnostics_of("invalid_schema", coverage) if d["severity"] == "error"]


@pytest.mark.parametrize(
    ("version", "schema"),
    [
        # OpenAPI 3.0 schemas are draft 4, whose meta-schema asserts "regex".
        ("3.0.3", {"type": "object", "properties": {"code": {"type": "string", "pattern": "("}}}),
        # A 3.1 schema that names draft 7 is checked as draft 7.
        (
            "3.1.0",
            {
                "$schema": "http://json-schema.org/draft-07/schema#",
                "type": "object",
                "properties": {"code": {"type": "string", "pattern": "("}},
            },
        ),
        # Below `items`, where the draft 4 meta-schema's anyOf holds the refusal in its branches.
        ("3.0.3", {"type": "object", "properties": {"code": {"type": "array", "items": {"pattern": "("}}}}),
    ],
)
def test_bad_pattern_is_left_out_and_the_schema_measured(version, schema):
    coverage = CoverageMap.from_dict(document(version, schema))
    assert unmeasured(coverage) == []
    [removed] = diagnostics_of("uncompilable_pattern", coverage)
    assert "/properties/code/" in str(removed)
    assert "pattern" in str(removed)
    assert coverage.operation_report("POST", "/items") is not None


def test_openapi_31_pattern_that_no_engine_compiles_is_an_invalid_schema():
    # The 2020-12 meta-schema does not assert "regex": the engine's refusal is not at the
    # keyword's place in the schema, so nothing is retried; the map is still built.
    schema = {"type": "object", "properties": {"code": {"type": "string", "pattern": "("}}}
    coverage = CoverageMap.from_dict(document("3.1.0", schema))
    assert len(unmeasured(coverage)) == 1
    assert coverage.operation_report("POST", "/items") is not None


@pytest.mark.parametrize(
    ("version", "schema", "path"),
    [
        (
            "3.1.0",
            {"$schema": "http://json-schema.org/draft-07/schema#", "minLength": -1},
            "/definitions/nonNegativeInteger/minimum",
        ),
        ("3.1.0", {"minLength": -1}, "/$defs/nonNegativeInteger/minimum"),
        ("3.0.3", {"minLength": -1}, "/definitions/positiveInteger/minimum"),
        ("3.1.0", {"properties": {"a": {"type": "strnig"}}}, "/properties/type/anyOf"),
    ],
)
def test_schema_breaking_its_meta_schema_is_reported(version, schema, path):
    coverage = CoverageMap.from_dict(document(version, schema))
    [invalid] = unmeasured(coverage)
    assert path in str(invalid)
    assert diagnostics_of("uncompilable_pattern", coverage) == []
