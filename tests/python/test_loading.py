"""Building a map from a document file or a dict: argument binding, reading, parsing, conversion."""

import pathlib

import pytest

from vantorel_community import CoverageMap

TESTDATA = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "testdata"
OAI_EXAMPLES = TESTDATA / "openapi" / "oai-examples" / "examples"
MARKER = "$vantorel_number"

MINIMAL_JSON = '{"openapi": "3.0.0", "info": {"title": "t", "version": "1"}, "paths": {}}'
MINIMAL_YAML = "openapi: 3.0.0\ninfo:\n  title: t\n  version: '1'\npaths: {}\n"


@pytest.fixture
def xdist(monkeypatch):
    """Keeps the document in the map, as inside a pytest-xdist worker, so tests can read it back."""
    monkeypatch.setenv("_VANTOREL_XDIST", "1")


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: CoverageMap.from_path(), "CoverageMap.from_path() missing 1 required positional argument: 'path'"),
        (
            lambda: CoverageMap.from_path("a", "b"),
            "CoverageMap.from_path() takes 1 positional arguments but 2 were given",
        ),
        (
            lambda: CoverageMap.from_path(path="a", basepath="/"),
            "CoverageMap.from_path() got an unexpected keyword argument 'basepath'",
        ),
        (
            lambda: CoverageMap.from_path("a", path="b"),
            "CoverageMap.from_path() got multiple values for argument 'path'",
        ),
        (lambda: CoverageMap.from_dict(), "CoverageMap.from_dict() missing 1 required positional argument: 'schema'"),
        (
            lambda: CoverageMap.from_dict({}, "/v1"),
            "CoverageMap.from_dict() takes 1 positional arguments but 2 were given",
        ),
        (
            lambda: CoverageMap.from_path(b"api.yaml"),
            "path must be a string or pathlib.Path object, got bytes",
        ),
        (lambda: CoverageMap.from_path(42), "path must be a string or pathlib.Path object, got int"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


@pytest.mark.parametrize(
    ("call", "message", "parameter"),
    [
        (lambda: CoverageMap.from_dict(5), "'int' object is not an instance of 'dict'", "schema"),
        (lambda: CoverageMap.from_dict({}, base_path=1), "'int' object is not an instance of 'str'", "base_path"),
        (lambda: CoverageMap.from_dict({}, location=b"x"), "'bytes' object is not an instance of 'str'", "location"),
        (lambda: CoverageMap.from_path("x.json", base_path=[]), "'list' object is not an instance of 'str'", "base_path"),
    ],
)
def test_conversion_errors_carry_the_parameter_note(call, message, parameter):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


def test_base_path_is_converted_before_path():
    with pytest.raises(TypeError) as info:
        CoverageMap.from_path(42, base_path=42)
    assert info.value.__notes__ == ["while processing 'base_path'"]


@pytest.mark.parametrize(
    ("name", "text"),
    [
        ("api.yaml", MINIMAL_JSON),  # YAML first, which reads JSON too
        ("api.json", MINIMAL_YAML),  # JSON fails, then YAML
        ("api.YAML", MINIMAL_JSON),
        (".yaml", MINIMAL_YAML),
        ("api.yml", MINIMAL_YAML),
    ],
)
def test_from_path_reads_json_and_yaml(tmp_path, xdist, name, text):
    path = tmp_path / name
    path.write_text(text)
    coverage = CoverageMap.from_path(str(path))
    assert coverage.get_schema()["info"] == {"title": "t", "version": "1"}
    assert coverage.get_options() == {"base_path": None, "location": str(path)}


def test_from_path_takes_a_pathlib_path(tmp_path, xdist):
    path = tmp_path / "api.json"
    path.write_text(MINIMAL_JSON)
    coverage = CoverageMap.from_path(path, base_path="/v1")
    assert coverage.get_options() == {"base_path": "/v1", "location": str(path)}


def test_yaml_merge_key_through_an_alias(tmp_path, xdist):
    path = tmp_path / "api.yaml"
    path.write_text("base: &b {a: 1, b: 2}\nuse:\n  <<: *b\n  b: 3\n")
    assert CoverageMap.from_path(str(path)).get_schema()["use"] == {"a": {MARKER: "1"}, "b": {MARKER: "3"}}


def test_missing_file_raises_file_not_found(tmp_path):
    path = tmp_path / "missing.yaml"
    with pytest.raises(FileNotFoundError) as info:
        CoverageMap.from_path(str(path))
    assert info.value.filename == str(path)
    assert info.value.strerror == "No such file or directory"


def test_invalid_utf8_raises_os_error_naming_the_path(tmp_path):
    path = tmp_path / "api.json"
    path.write_bytes(b'{"a": "\xff"}')
    with pytest.raises(OSError) as info:
        CoverageMap.from_path(str(path))
    assert str(info.value).endswith(f": {path}")


def test_unparsable_text_names_both_readers(tmp_path):
    path = tmp_path / "api.yaml"
    path.write_text("{]: [")
    with pytest.raises(ValueError) as info:
        CoverageMap.from_path(str(path))
    text = str(info.value)
    assert text.startswith(f"Failed to parse schema `{path}`: Parse error:\n  JSON: ")
    assert "\n  YAML: " in text


def test_xdist_data_is_dropped_outside_a_worker(tmp_path, monkeypatch):
    for value in (None, "", "true", "01"):
        if value is None:
            monkeypatch.delenv("_VANTOREL_XDIST", raising=False)
        else:
            monkeypatch.setenv("_VANTOREL_XDIST", value)
        coverage = CoverageMap.from_dict({"openapi": "3.1.0"}, base_path="/v1", location="x.json")
        assert coverage.get_options() == {"base_path": None, "location": None}
        assert coverage.get_schema() is None


@pytest.mark.parametrize(
    ("value", "expected"),
    [
        (2**128 - 1, {MARKER: str(2**128 - 1)}),
        (-(2**127), {MARKER: str(-(2**127))}),
        (1.0, {MARKER: "1.0"}),
        (1e100, {MARKER: "1e+100"}),
        (float("inf"), None),
        (float("nan"), None),
        (True, True),
        ((1, "a"), [{MARKER: "1"}, "a"]),
        (frozenset(), []),
        ({MARKER: "1.50"}, {MARKER: "1.50"}),
        ({MARKER: "1", "x": 1}, {MARKER: "1", "x": {MARKER: "1"}}),
    ],
)
def test_from_dict_values(xdist, value, expected):
    assert CoverageMap.from_dict({"v": value}).get_schema() == {"v": expected}


class _Index:
    def __index__(self):
        return 7


@pytest.mark.parametrize(
    ("value", "error", "message"),
    [
        (2**128, OverflowError, "Python int larger than 128 bits"),
        (-(2**127) - 1, OverflowError, None),
        ({200: "ok"}, TypeError, None),
        (b"bytes", Exception, None),
        (object(), TypeError, "unsupported type object"),
        (_Index, TypeError, "unsupported type type"),
        ({MARKER: "01"}, ValueError, None),
    ],
)
def test_from_dict_refuses(value, error, message):
    with pytest.raises(error) as info:
        CoverageMap.from_dict({"paths": {"a": [value]}})
    if message is not None:
        assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_int_subclass_goes_through_index(xdist):
    class Flag(int):
        pass

    assert CoverageMap.from_dict({"v": Flag(3)}).get_schema() == {"v": {MARKER: "3"}}


def test_self_reference_and_deep_nesting_are_errors_not_crashes():
    looped = {}
    looped["a"] = looped
    with pytest.raises(ValueError, match="contains itself"):
        CoverageMap.from_dict(looped)
    listed = []
    listed.append(listed)
    with pytest.raises(ValueError, match="contains itself"):
        CoverageMap.from_dict({"x": listed})
    deep = []
    for _ in range(100_000):
        deep = [deep]
    with pytest.raises(ValueError, match="deeper than"):
        CoverageMap.from_dict({"x": deep})


def test_a_value_shared_by_two_members_is_no_cycle(xdist):
    shared = {"type": "string"}
    assert CoverageMap.from_dict({"a": shared, "b": [shared, shared]}).get_schema()["b"][1] == {"type": "string"}


def test_round_trip_keeps_number_texts(tmp_path, xdist):
    path = tmp_path / "api.json"
    path.write_text('{"a": 1.50, "b": 1e400, "c": [0.1, -0]}')
    first = CoverageMap.from_path(str(path))
    again = CoverageMap.from_dict(first.get_schema(), **first.get_options())
    assert again.get_schema() == first.get_schema()
    assert again.get_schema()["b"] == {MARKER: "1e400"}


def _oai_documents():
    if not OAI_EXAMPLES.is_dir():
        return []
    return sorted(p for p in OAI_EXAMPLES.rglob("*") if p.suffix in (".json", ".yaml", ".yml"))


@pytest.mark.skipif(not OAI_EXAMPLES.is_dir(), reason="../shared/testdata is absent")
@pytest.mark.parametrize("path", _oai_documents(), ids=lambda p: str(p.relative_to(OAI_EXAMPLES)))
def test_oai_examples_load_from_path_and_dict(xdist, path):
    from_path = CoverageMap.from_path(str(path))
    schema = from_path.get_schema()
    assert isinstance(schema, dict) and schema
    from_dict = CoverageMap.from_dict(schema, location=str(path))
    assert from_dict.get_schema() == schema


def test_maps_built_from_many_threads_at_once(tmp_path, xdist):
    from concurrent.futures import ThreadPoolExecutor

    path = tmp_path / "api.yaml"
    path.write_text(MINIMAL_YAML)

    def build(i):
        if i % 2:
            return CoverageMap.from_path(str(path)).get_schema()
        return CoverageMap.from_dict({"openapi": "3.0.0", "n": i}).get_schema()

    with ThreadPoolExecutor(8) as pool:
        results = list(pool.map(build, range(64)))
    assert all(r["openapi"] == "3.0.0" for r in results)
    assert [r["n"] for r in results[::2]] == [{MARKER: str(i)} for i in range(0, 64, 2)]
