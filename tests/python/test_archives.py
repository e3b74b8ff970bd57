"""Importing traffic that other tools saved: a HAR file recorded by Chromium through Playwright, a
VCR cassette recorded by vcrpy around requests calls, and a hand-written Postman v2.1 collection.

The HAR and the cassette hold exchanges with the example's application on a live server; they must
reach the figures that the requests integration reaches for the same exchanges.
"""

import json
import pathlib
import sys
import threading

import pytest

from vantorel_community import CoverageMap

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLE = ROOT / "examples" / "petstore"
DOCUMENT = EXAMPLE / "openapi.yaml"
POSTMAN = ROOT / "tests" / "data" / "petstore.postman_collection.json"

flask = pytest.importorskip("flask", reason="scripts/setup installs flask")
sys.path.insert(0, str(EXAMPLE))
from app import create_app  # noqa: E402

# (method, path and query, JSON body, headers)
EXCHANGES = [
    ("GET", "/v1/pets?status=available&limit=10", None, {}),
    ("POST", "/v1/pets", {"name": "Rex", "species": "dog", "age": 3}, {}),
    ("GET", "/v1/pets/999", None, {"X-Request-Id": "r-1"}),
    ("DELETE", "/v1/pets/1", None, {"X-Api-Key": "wrong"}),
]


@pytest.fixture
def server():
    """The example's application on 127.0.0.1, fresh for each test."""
    from werkzeug.serving import make_server

    httpd = make_server("127.0.0.1", 0, create_app(), threaded=True)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{httpd.server_port}"
    httpd.shutdown()
    thread.join()


def figures(coverage):
    """The statistics without the times of recording and the measured durations."""
    out = {}
    for dimension, values in coverage.statistic().items():
        out[dimension] = {k: v for k, v in values.items() if k not in ("timeline", "elapsed_total_seconds")}
    return out


def send_with_requests(session, base):
    for method, target, body, headers in EXCHANGES:
        session.request(method, base + target, json=body, headers=headers)


def live_figures():
    """What the requests integration records for EXCHANGES against a fresh server."""
    requests = pytest.importorskip("requests")
    from werkzeug.serving import make_server

    httpd = make_server("127.0.0.1", 0, create_app(), threaded=True)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    try:
        coverage = CoverageMap.from_path(DOCUMENT)
        session = coverage.requests.track_session(requests.Session())
        send_with_requests(session, f"http://127.0.0.1:{httpd.server_port}")
        return figures(coverage)
    finally:
        httpd.shutdown()
        thread.join()


def test_har_recorded_by_chromium(server, tmp_path):
    playwright = pytest.importorskip("playwright.sync_api", reason="scripts/setup installs playwright")
    chromium = pathlib.Path("/usr/bin/chromium")
    if not chromium.exists():
        pytest.skip("Debian's chromium is not installed")
    har = tmp_path / "petstore.har"
    with playwright.sync_playwright() as p:
        browser = p.chromium.launch(executable_path=str(chromium), args=["--no-sandbox"])
        context = browser.new_context(record_har_path=str(har))
        page = context.new_page()
        page.goto(server + "/v1/pets/999")  # the page's origin; its exchange is not one of EXCHANGES
        for method, target, body, headers in EXCHANGES:
            page.evaluate(
                """async ([method, url, body, headers]) => {
                    const init = {method, headers: {...headers}};
                    if (body !== null) {
                        init.body = JSON.stringify(body);
                        init.headers["Content-Type"] = "application/json";
                    }
                    await (await fetch(url, init)).text();
                }""",
                [method, server + target, body, headers],
            )
        context.close()
        browser.close()

    archive = json.loads(har.read_text())
    urls = [entry["request"]["url"] for entry in archive["log"]["entries"]]
    assert urls[0] == server + "/v1/pets/999"

    coverage = CoverageMap.from_path(DOCUMENT)
    recorded = coverage.har.record_from_path(har)
    assert recorded == len([u for u in urls if u.startswith("http")])
    # The navigation is one more GET of a missing pet: the same operation and response as
    # EXCHANGES' third, so only hit counts differ, which the statistics do not show.
    assert figures(coverage) == live_figures()
    assert coverage.statistic()["responses"]["elapsed_total_seconds"] > 0

    again = CoverageMap.from_path(DOCUMENT)
    assert again.har.record_from_dict(archive) == recorded
    assert figures(again) == figures(coverage)


def test_cassette_recorded_by_vcrpy(server, tmp_path):
    vcr = pytest.importorskip("vcr", reason="scripts/setup installs vcrpy")
    requests = pytest.importorskip("requests")
    cassette = tmp_path / "petstore.yaml"
    with vcr.use_cassette(str(cassette), record_mode="all"):
        send_with_requests(requests.Session(), server)
    assert "version: 1" in cassette.read_text()

    coverage = CoverageMap.from_path(DOCUMENT)
    assert coverage.vcr.record_from_path(str(cassette)) == len(EXCHANGES)
    assert figures(coverage) == live_figures()

    from vcr.serializers import yamlserializer

    parsed = yamlserializer.deserialize(cassette.read_text())
    again = CoverageMap.from_path(DOCUMENT)
    assert again.vcr.record_from_dict(parsed) == len(EXCHANGES)
    assert figures(again) == figures(coverage)


PETS = {
    "openapi": "3.1.0",
    "info": {"title": "pets", "version": "1"},
    "paths": {
        "/pets": {
            "post": {
                "requestBody": {
                    "content": {
                        "application/json": {
                            "schema": {"type": "object", "properties": {"name": {"minLength": 1}}, "required": ["name"]}
                        }
                    }
                },
                "responses": {
                    "201": {
                        "description": "stored",
                        "content": {
                            "application/json": {"schema": {"type": "object", "properties": {"id": {"minimum": 1}}}}
                        },
                    }
                },
            }
        }
    },
}


def one_exchange_cassette(request_body, response_body):
    """A cassette of one POST /pets, each body a YAML scalar as written."""
    return f"""interactions:
- request:
    method: POST
    uri: http://api.test/pets
    body: {request_body}
    headers:
      Content-Type: [application/json]
  response:
    status: {{code: 201, message: Created}}
    headers:
      Content-Type: [application/json]
    body:
      string: {response_body}
version: 1
"""


def test_cassette_bodies_saved_as_binary_are_their_bytes(tmp_path):
    import base64

    request = json.dumps({"name": "rex"})
    response = json.dumps({"id": 7})
    encoded = [base64.b64encode(body.encode()).decode() for body in (request, response)]
    cassettes = {
        "text": one_exchange_cassette(json.dumps(request), json.dumps(response)),
        "binary": one_exchange_cassette(*("!!binary " + e for e in encoded)),
        # vcrpy breaks long base64 lines; the breaks are not part of the bytes.
        "binary block": one_exchange_cassette(*(f"!!binary |\n        {e[:8]}\n        {e[8:]}" for e in encoded)),
        "base64 as text": one_exchange_cassette(*(json.dumps(e) for e in encoded)),
    }
    yaml = pytest.importorskip("yaml", reason="vcrpy brings PyYAML")
    uncovered = {}
    for name, text in cassettes.items():
        path = tmp_path / (name.replace(" ", "_") + ".yaml")
        path.write_text(text)
        coverage = CoverageMap.from_dict(PETS)
        assert coverage.vcr.record_from_path(path) == 1, name
        uncovered[name] = coverage.uncovered_keywords()
        # Parsed by a YAML loader first, "!!binary" bodies arrive as bytes and read the same.
        parsed = CoverageMap.from_dict(PETS)
        assert parsed.vcr.record_from_dict(yaml.safe_load(text)) == 1, name
        assert parsed.uncovered_keywords() == uncovered[name], name
    assert uncovered["binary"] == uncovered["text"]
    assert uncovered["binary block"] == uncovered["text"]
    # Read as base64 text, the bodies are no JSON and meet none of the keywords the decoded ones meet.
    assert uncovered["base64 as text"] != uncovered["text"]

    # Bytes that are not UTF-8 are a body like any other, not an error of the cassette.
    raw = tmp_path / "raw.yaml"
    raw.write_text(one_exchange_cassette("!!binary /w==", "!!binary //4="))
    assert CoverageMap.from_dict(PETS).vcr.record_from_path(raw) == 1
    raw_dict = yaml.safe_load(raw.read_text())
    raw_dict["interactions"][0]["request"]["body"] = bytearray(raw_dict["interactions"][0]["request"]["body"])
    assert CoverageMap.from_dict(PETS).vcr.record_from_dict(raw_dict) == 1
    # Other archives are JSON documents: bytes in them stay an error.
    with pytest.raises(Exception, match="invalid type: byte array"):
        CoverageMap.from_dict(PETS).har.record_from_dict({"log": {"entries": [], "bytes": b"x"}})
    broken = tmp_path / "broken_binary.yaml"
    broken.write_text(one_exchange_cassette("!!binary a*b", "null"))
    with pytest.raises(ValueError, match="not a valid tag:yaml.org,2002:binary"):
        CoverageMap.from_dict(PETS).vcr.record_from_path(broken)


def test_postman_collection_with_saved_responses():
    coverage = CoverageMap.from_path(DOCUMENT)
    plugin = coverage.postman
    # Three saved responses; the request without one was never shown to have been sent.
    assert plugin.record_from_path(POSTMAN) == 3
    stats = coverage.statistic()
    assert stats["operations"]["seen"] == 2
    assert stats["responses"]["seen"] == 3
    assert stats["responses"]["elapsed_total_seconds"] == pytest.approx(0.012)

    same = CoverageMap.from_path(DOCUMENT)
    assert type(plugin)(same).record_from_dict(json.loads(POSTMAN.read_text())) == 3
    assert figures(same) == figures(coverage)


def test_plugins_of_one_map_record_into_the_same_counts():
    coverage = CoverageMap.from_path(DOCUMENT)
    coverage.postman.record_from_path(POSTMAN)
    archive = {
        "log": {
            "entries": [
                {
                    "startedDateTime": "2026-12-11T06:30:00Z",
                    "time": 5,
                    "request": {"method": "DELETE", "url": "http://localhost/v1/pets/1", "headers": []},
                    "response": {"status": 401, "headers": [], "content": {}},
                }
            ]
        }
    }
    assert coverage.har.record_from_dict(archive) == 1
    assert coverage.statistic()["operations"]["seen"] == 3


@pytest.mark.parametrize("name", ["har", "vcr", "postman"])
def test_constructor_and_argument_errors(name, tmp_path):
    coverage = CoverageMap.from_path(DOCUMENT)
    plugin = getattr(coverage, name)
    cls = type(plugin)
    assert cls.__name__ == {"har": "HarPlugin", "vcr": "VcrPlugin", "postman": "PostmanPlugin"}[name]
    assert getattr(coverage, name) is not plugin
    with pytest.raises(TypeError, match="coverage"):
        cls(object())
    with pytest.raises(FileNotFoundError):
        plugin.record_from_path(tmp_path / "missing.json")
    with pytest.raises(TypeError, match="'list' object is not an instance of 'dict'"):
        plugin.record_from_dict([])
    broken = tmp_path / "broken.json"
    broken.write_text("{not json")
    with pytest.raises(ValueError, match="^Failed to parse "):
        plugin.record_from_path(broken)
    with pytest.raises(ValueError, match="^Invalid (HAR archive|VCR cassette|Postman collection)"):
        plugin.record_from_dict({})
    assert coverage.statistic()["operations"]["seen"] == 0


def test_a_malformed_entry_records_nothing_of_the_document():
    coverage = CoverageMap.from_path(DOCUMENT)
    entry = {
        "startedDateTime": "2026-12-11T06:30:00Z",
        "request": {"method": "GET", "url": "http://localhost/v1/pets", "headers": []},
        "response": {"status": 200, "headers": [], "content": {}},
    }
    bad = {**entry, "response": {"status": 99, "headers": [], "content": {}}}
    with pytest.raises(ValueError, match=r"^Invalid HAR archive at log\.entries\[1\]\.response\.status: status 99 "):
        coverage.har.record_from_dict({"log": {"entries": [entry, bad]}})
    assert coverage.statistic()["operations"]["seen"] == 0
