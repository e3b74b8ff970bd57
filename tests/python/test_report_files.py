"""Report methods: argument checks before the map is touched, and report files on disk."""

import json
import pathlib

import pytest

from vantorel_community import CoverageMap

DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {
        "/items": {
            "get": {
                "parameters": [{"name": "n", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
                "responses": {"200": {"description": "ok"}},
            }
        }
    },
}


@pytest.fixture
def coverage():
    return CoverageMap.from_dict(DOCUMENT)


def without_time(report):
    report = dict(report)
    report.pop("generated_at")
    return report


def test_save_json_report_creates_missing_folders(coverage, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    assert coverage.save_json_report(output_file="out/a/b.json") is None
    written = json.loads((tmp_path / "out" / "a" / "b.json").read_text())
    assert without_time(written) == without_time(json.loads(coverage.generate_json_report()))
    assert sorted(p.name for p in (tmp_path / "out" / "a").iterdir()) == ["b.json"]


@pytest.mark.parametrize(
    "arguments, name, first_line",
    [
        ({}, "coverage.html", "<!DOCTYPE html>"),
        ({"format": "json"}, "coverage.json", '{"$schema"'),
        ({"format": "markdown"}, "coverage.md", "<!-- vantorel-coverage-report -->"),
    ],
)
def test_save_report_writes_the_default_file_of_its_format(coverage, tmp_path, monkeypatch, arguments, name, first_line):
    monkeypatch.chdir(tmp_path)
    coverage.save_report(**arguments)
    assert (tmp_path / name).read_text().startswith(first_line)


def test_save_report_replaces_an_older_report_whole(coverage, tmp_path):
    target = tmp_path / "r.json"
    target.write_text("x" * 100000)
    coverage.save_report(output_file=str(target), format="json", title="ignored")
    assert json.loads(target.read_text())["version"] == "1.0"
    assert [p.name for p in tmp_path.iterdir()] == ["r.json"]


def test_generate_report_json_ignores_the_title(coverage):
    assert without_time(json.loads(coverage.generate_report(format="json", title="T"))) == without_time(
        json.loads(coverage.generate_json_report())
    )


@pytest.mark.parametrize(
    "output_file, start",
    [("", "Failed to create file : "), (".", "Failed to create file .: "), ("a\0b", "Failed to create file a\0b: ")],
)
def test_a_file_that_cannot_be_created_raises_oserror_with_the_path(coverage, tmp_path, monkeypatch, output_file, start):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(OSError) as raised:
        coverage.save_json_report(output_file=output_file)
    assert str(raised.value).startswith(start)
    assert list(tmp_path.iterdir()) == []


def test_a_parent_that_is_a_file_raises_and_keeps_the_file(coverage, tmp_path):
    (tmp_path / "plain").write_text("keep")
    with pytest.raises(OSError, match=r"^Failed to create file .*plain/r\.md: Not a directory \(os error 20\)$"):
        coverage.save_markdown_report(output_file=str(tmp_path / "plain" / "r.md"))
    assert (tmp_path / "plain").read_text() == "keep"


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda c: c.generate_report(format="JSON"), ValueError, "Unknown format `JSON`; expected one of: html, json, markdown"),
        (lambda c: c.save_report(format="pdf"), ValueError, "Unknown format `pdf`; expected one of: html, json, markdown"),
        (
            lambda c: c.generate_markdown_report(columns=[]),
            ValueError,
            "`columns` is empty; expected one or more of: parameters, keywords, responses, examples",
        ),
        (
            lambda c: c.generate_markdown_report(columns=["keywords", "gaps"]),
            ValueError,
            "Unknown column `gaps`; expected one of: parameters, keywords, responses, examples",
        ),
        (
            lambda c: c.generate_text_report(width=80, show_missing=["keyword"]),
            ValueError,
            "Unknown report item `keyword`; expected one of: parameter",
        ),
        (
            lambda c: c.generate_text_report(),
            TypeError,
            "CoverageMap.generate_text_report() missing 1 required keyword argument: 'width'",
        ),
    ],
)
def test_argument_errors_raise_before_anything_is_done(coverage, tmp_path, monkeypatch, call, error, message):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error) as raised:
        call(coverage)
    assert str(raised.value) == message
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize(
    "call, name",
    [
        (lambda c: c.save_json_report(output_file=pathlib.Path("x.json")), "output_file"),
        (lambda c: c.generate_markdown_report(columns="keywords"), "columns"),
        (lambda c: c.generate_markdown_report(columns=["keywords", 3]), "columns"),
        (lambda c: c.generate_markdown_report(is_pull_request=1), "is_pull_request"),
        (lambda c: c.generate_markdown_report(weak_threshold="0.5"), "weak_threshold"),
        (lambda c: c.generate_text_report(width="80"), "width"),
        (lambda c: c.generate_text_summary(colored=None), "colored"),
        (lambda c: c.generate_report(format=None), "format"),
    ],
)
def test_wrongly_typed_arguments_raise_typeerror_noted_with_their_name(coverage, call, name):
    with pytest.raises(TypeError) as raised:
        call(coverage)
    assert raised.value.__notes__ == [f"while processing '{name}'"]


def test_negative_width_overflows(coverage):
    with pytest.raises(OverflowError) as raised:
        coverage.generate_text_report(width=-1)
    assert raised.value.__notes__ == ["while processing 'width'"]


def test_accepted_markdown_and_text_options(coverage):
    keywords_only = coverage.generate_markdown_report(columns=["Keywords", "keywords"], weak_threshold=5)
    assert keywords_only.startswith("<!-- vantorel-coverage-report -->")
    assert coverage.generate_markdown_report() != keywords_only
    assert isinstance(coverage.generate_text_report(width=100, show_missing=["PARAMETER"]), str)
    assert coverage.generate_text_report(width=100, show_missing=[]) == coverage.generate_text_report(width=100)
    summary = coverage.generate_text_summary(colored=False)
    assert summary.splitlines()[0].startswith("Operations") and not summary.endswith("\n")


def test_html_title_defaults_to_the_product_name(coverage, tmp_path):
    assert "<title>Vantorel Report" in coverage.generate_report()
    coverage.save_html_report(output_file=str(tmp_path / "r.html"), title="Pets & co")
    page = (tmp_path / "r.html").read_text()
    assert "Pets &amp; co" in page and "Vantorel Report" not in page
