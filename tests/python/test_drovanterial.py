"""Importing the API-testing tool's interactions for one documented operation: the events each
batch moves, how the operation is chosen, and how malformed items are reported."""

import pytest

from vantorel_community import CoverageMap

DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {
        "/items": {
            "get": {
                "parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
                "responses": {
                    "200": {"description": "ok", "content": {"application/json": {"schema": {"type": "array"}}}}
                },
            },
            "post": {"responses": {"201": {"description": "made"}}},
        },
        "/items/{id}": {
            "get": {
                "parameters": [{"name": "id", "in": "path", "required": True, "schema": {"minLength": 2}}],
                "responses": {"200": {"description": "ok"}},
            }
        },
    },
}


class Obj:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)


def interaction(url, status=200, body=b"[]", timestamp=10.0, headers=None):
    response = None
    if status is not None:
        response = Obj(status_code=status, elapsed=0.1, body=body, headers={"Content-Type": "application/json"})
    return Obj(
        request=Obj(url=url, body=None, headers={} if headers is None else headers),
        response=response,
        timestamp=timestamp,
    )


def seen_operations(coverage):
    return coverage.statistic()["operations"]["seen"]


def test_events_name_each_check_that_moved_with_its_outcome():
    coverage = CoverageMap.from_dict(DOCUMENT)
    events = coverage.record_drovanterial_interactions(
        "get", "/items", [interaction("http://h/items?limit=3"), interaction("http://h/items?limit=0", body=b"{}")]
    )
    assert events == [
        ("vantorel|schema|GET|/items|query|limit|/minimum", "valid"),
        ("vantorel|schema|GET|/items|query|limit|/type", "valid"),
        ("vantorel|schema|GET|/items|query|limit|", "valid"),
        ("vantorel|response|GET|/items|200|application/json|/type", "valid"),
        ("vantorel|response|GET|/items|200|application/json|", "valid"),
        ("vantorel|schema|GET|/items|query|limit|/minimum", "invalid"),
        ("vantorel|schema|GET|/items|query|limit|/type", "valid"),
        ("vantorel|schema|GET|/items|query|limit|", "invalid"),
        ("vantorel|response|GET|/items|200|application/json|/type", "invalid"),
        ("vantorel|response|GET|/items|200|application/json|", "invalid"),
    ]
    assert seen_operations(coverage) == 1


def test_without_events_the_batch_still_counts():
    coverage = CoverageMap.from_dict(DOCUMENT)
    assert coverage.record_drovanterial_interactions("GET", "/items", [interaction("http://h/items")], events=False) == []
    assert seen_operations(coverage) == 1


def test_a_url_that_does_not_fit_still_counts_for_the_named_operation():
    coverage = CoverageMap.from_dict(DOCUMENT)
    events = coverage.record_drovanterial_interactions("GET", "/items/{id}", [interaction("http://h/other", status=None)])
    assert events == []  # no path value to trace, no response
    assert seen_operations(coverage) == 1
    events = coverage.record_drovanterial_interactions("GET", "/items/{id}", [interaction("http://h/items/a", status=None)])
    assert ("vantorel|schema|GET|/items/{id}|path|id|/minLength", "invalid") in events


@pytest.mark.parametrize(("method", "path"), [("PUT", "/items"), ("GET", "/missing")])
def test_undocumented_method_or_path_records_no_hit_and_no_events(method, path):
    coverage = CoverageMap.from_dict(DOCUMENT)
    batch = [interaction(f"http://h/items?limit={i}") for i in range(3)]
    assert coverage.record_drovanterial_interactions(method, path, batch) == []
    assert seen_operations(coverage) == 0


def test_empty_batch():
    coverage = CoverageMap.from_dict(DOCUMENT)
    assert coverage.record_drovanterial_interactions("GET", "/items", []) == []
    assert seen_operations(coverage) == 0


def broken(kind):
    item = interaction("http://h/items")
    if kind == "no request":
        del item.request
    elif kind == "relative url":
        item.request.url = "/items"
    elif kind == "bad status":
        item.response.status_code = 70000
    elif kind == "bool timestamp":
        item.timestamp = True
    elif kind == "no timestamp":
        del item.timestamp
    return item


@pytest.mark.parametrize(
    ("kind", "message"),
    [
        ("no request", "Error parsing interaction at index 1: AttributeError: "),
        ("relative url", "Error parsing interaction at index 1: ValueError: Invalid request URL `/items`: "),
        ("bad status", "Error parsing interaction at index 1: OverflowError: number too large to fit in target type"),
        ("bool timestamp", "Error parsing interaction at index 1: TypeError: 'bool' object is not an instance of 'int'"),
        ("no timestamp", "Error parsing interaction at index 1: AttributeError: "),
    ],
)
def test_a_malformed_item_stops_the_call_before_anything_is_imported(kind, message):
    coverage = CoverageMap.from_dict(DOCUMENT)
    with pytest.raises(ValueError) as raised:
        coverage.record_drovanterial_interactions("GET", "/items", [interaction("http://h/items"), broken(kind)])
    assert str(raised.value).startswith(message)
    assert seen_operations(coverage) == 0


def test_argument_errors():
    coverage = CoverageMap.from_dict(DOCUMENT)
    item = interaction("http://h/items")
    item.request.url = b"http://h/items"
    with pytest.raises(TypeError, match=r"^interactions\[0\]\.request\.url must be a str, got bytes$"):
        coverage.record_drovanterial_interactions("GET", "/items", [item])

    class Text(str):
        pass

    item.request.url = Text("http://h/items")
    with pytest.raises(TypeError, match="must be a str, got Text"):
        coverage.record_drovanterial_interactions("GET", "/items", [item])
    with pytest.raises(ValueError, match=r"^Invalid HTTP method: FETCH\. Possible values: GET, PUT, POST"):
        coverage.record_drovanterial_interactions("FETCH", "/items", [object()])
    with pytest.raises(TypeError, match="'tuple' object is not an instance of 'list'"):
        coverage.record_drovanterial_interactions("GET", "/items", (interaction("http://h/items"),))
    with pytest.raises(TypeError):
        coverage.record_drovanterial_interactions("GET", "/items", [], None, True)
    assert seen_operations(coverage) == 0


def test_labels_reach_what_recording_the_same_exchanges_reaches():
    urls = ["http://h/items?limit=3", "http://h/items?limit=0"]
    imported = CoverageMap.from_dict(DOCUMENT)
    imported.record_drovanterial_interactions("GET", "/items", [interaction(u) for u in urls], ["t1"], events=False)
    recorded = CoverageMap.from_dict(DOCUMENT)
    for u in urls:
        item = interaction(u)
        item.request.method = "GET"
        recorded.record(item.request, item.response, item.timestamp, ["t1"])
    assert imported.label_summaries() == recorded.label_summaries()
    assert imported.label_summary("t1")["operations"]["covered"] == 1


@pytest.mark.parametrize(
    ("items", "events"),
    [
        ([object()], True),
        ([], 1),
    ],
    ids=["before a malformed item", "before events"],
)
def test_labels_of_the_wrong_kind_are_refused_in_argument_order(items, events):
    coverage = CoverageMap.from_dict(DOCUMENT)
    with pytest.raises(TypeError, match=r"^labels must be a str, a list or a tuple of str, not 'int'") as raised:
        coverage.record_drovanterial_interactions("GET", "/items", items, 5, events=events)
    assert raised.value.__notes__ == ["while processing 'labels'"]
    assert seen_operations(coverage) == 0
