"""The terminal report, the compact summary and the Markdown report from Python: argument checks,
escaping of document texts, and a Markdown report that a CommonMark renderer reads as intended."""

import pathlib
import sys

import pytest

from vantorel_community import CoverageMap

pytestmark = pytest.mark.skipif(
    not hasattr(CoverageMap, "generate_markdown_report"), reason="the report methods are not built in this module"
)

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "petstore"


def document(paths):
    return {"openapi": "3.1.0", "info": {"title": "t", "version": "1"}, "paths": paths}


def get(*parameters):
    return {"get": {"parameters": list(parameters), "responses": {"200": {"description": "ok"}}}}


def query(name):
    return {"name": name, "in": "query", "schema": {"type": "integer"}}


class Request:
    def __init__(self, method, url, headers=None, body=None):
        self.method = method
        self.url = url
        self.headers = headers or {}
        self.body = body


class Response:
    def __init__(self, status_code, body=None, headers=None):
        self.status_code = status_code
        self.elapsed = 0.01
        self.body = body
        self.headers = headers or {}


def tables(markdown):
    """Each table of the rendered text as a list of rows, each row a list of cell texts."""
    markdown_it = pytest.importorskip("markdown_it", reason="markdown-it-py renders the report; scripts/setup installs it")
    tokens = markdown_it.MarkdownIt("commonmark").enable("table").parse(markdown)
    found, row, cell = [], None, None
    for token in tokens:
        if token.type == "table_open":
            found.append([])
        elif token.type == "tr_open":
            row = []
        elif token.type == "tr_close":
            found[-1].append(row)
        elif token.type in ("th_open", "td_open"):
            cell = ""
        elif token.type in ("th_close", "td_close"):
            row.append(cell)
        elif token.type == "inline" and cell is not None:
            cell += "".join(child.content for child in token.children or [])
    return found


def test_example_markdown_keeps_its_table_structure():
    pytest.importorskip("flask", reason="the example needs flask; scripts/setup installs it")
    sys.path.insert(0, str(EXAMPLE))
    try:
        from app import create_app
    finally:
        sys.path.remove(str(EXAMPLE))
    coverage = CoverageMap.from_path(EXAMPLE / "openapi.yaml")
    client = create_app().test_client()
    for path in ("/v1/pets?limit=10", "/v1/pets/1", "/v1/pets/999", "/v1/unknown"):
        response = client.get(path)
        coverage.record(
            Request("GET", "http://localhost" + path),
            Response(response.status_code, response.get_data(), dict(response.headers)),
        )
    markdown = coverage.generate_markdown_report(report_url="https://ci.example/run/1")
    assert markdown.startswith("<!-- vantorel-coverage-report -->\n")
    found = tables(markdown)
    assert len(found) >= 3  # untested, tested, unmatched
    for table in found:
        assert len({len(row) for row in table}) == 1, table
    headers = [table[0] for table in found]
    assert ["", "Method", "Path", "Parameters", "Keywords", "Responses", "Examples"] in headers
    assert ["Method", "Host", "Path", "Reason", "Count"] in headers


def test_pipe_and_backtick_in_a_path_stay_in_one_cell():
    coverage = CoverageMap.from_dict(document({"/a|b/{id}": get(), "/tick`s": get()}))
    markdown = coverage.generate_markdown_report(columns=["keywords"])
    (untested,) = tables(markdown)
    assert untested[0] == ["", "Method", "Path", "Keywords"]
    assert sorted(row[2] for row in untested[1:]) == ["/a|b/{id}", "/tick`s"]
    assert all(len(row) == 4 for row in untested)


def test_markdown_columns_are_checked():
    coverage = CoverageMap.from_dict(document({"/a": get(query("q"))}))
    markdown = coverage.generate_markdown_report(columns=["Keywords", "keywords"])
    assert "| | Method | Path | Keywords |\n" in markdown
    with pytest.raises(ValueError, match="^`columns` is empty; expected one or more of: parameters, keywords, "
                                         "responses, examples$"):
        coverage.generate_markdown_report(columns=[])
    with pytest.raises(ValueError, match="^Unknown column `rows`; expected one of: parameters, keywords, responses, "
                                         "examples$"):
        coverage.generate_markdown_report(columns=["keywords", "rows"])
    with pytest.raises(TypeError):
        coverage.generate_markdown_report(columns="keywords")


def test_save_markdown_report_writes_the_same_text(tmp_path):
    coverage = CoverageMap.from_dict(document({"/a": get(query("q"))}))
    target = tmp_path / "out" / "coverage.md"
    coverage.save_markdown_report(output_file=str(target), weak_threshold=0.5, is_pull_request=True)
    assert target.read_text(encoding="utf-8") == coverage.generate_markdown_report(
        weak_threshold=0.5, is_pull_request=True
    )


def test_text_report_width_is_checked():
    coverage = CoverageMap.from_dict(document({"/a": get(query("q"))}))
    with pytest.raises(ValueError, match="width"):
        coverage.generate_text_report(width=2**62)
    with pytest.raises((ValueError, OverflowError)):
        coverage.generate_text_report(width=-1)
    with pytest.raises(TypeError):
        coverage.generate_text_report()
    text = coverage.generate_text_report(width=60, colored=False)
    lines = text.split("\n")
    assert lines[0].startswith("Operation") and lines[-1].startswith("TOTAL")
    assert all(len(line) == 60 for line in lines)
    # Narrower than the number columns and a nine-column operation: the table keeps its minimum.
    assert {len(line) for line in coverage.generate_text_report(width=10, colored=False).split("\n")} == {45}


def test_text_report_missing_parameters_and_report_items():
    coverage = CoverageMap.from_dict(document({"/a": get(query("limit"), query("offset"))}))
    text = coverage.generate_text_report(width=60, colored=False, show_missing=["PARAMETER"])
    assert text.endswith("\n\nUncovered Parameters:\nGET /a:\n    query: limit, offset")
    assert "Uncovered" not in coverage.generate_text_report(width=60, show_missing=[])
    with pytest.raises(ValueError, match="^Unknown report item `keyword`; expected one of: parameter$"):
        coverage.generate_text_report(width=60, show_missing=["keyword"])


def test_text_report_keeps_escape_sequences_out_of_the_terminal():
    coverage = CoverageMap.from_dict(document({"/a\x1b]0;owned\x07": get(query("x\x1b[2J"))}))
    text = coverage.generate_text_report(width=80, colored=False, show_missing=["parameter"])
    assert "\x1b" not in text and "\x07" not in text
    assert "x\\x1b[2J" in text


def test_text_summary_colours():
    coverage = CoverageMap.from_dict(document({"/a": get()}))
    assert coverage.generate_text_summary(colored=False).splitlines()[0] == "Operations          0/1    0.0%"
    coverage.record(Request("GET", "http://h/a"), Response(200))
    first = coverage.generate_text_summary().splitlines()[0]
    assert first == "Operations          1/1  \x1b[32m100.0%\x1b[0m"
    assert not coverage.generate_text_summary().endswith("\n")
