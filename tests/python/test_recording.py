"""Recording from Python: reading request and response objects, the order of their checks, labels,
record_error, the counters, and several threads recording into one map.

No method reads hit counts back yet. The tests see what was recorded through the unmatched-request
table instead: once it holds its 1000 groups, every request that would start a new group raises
`unmatched_overflow()` by one, while a request that reaches a documented operation, or joins a
group that exists, leaves it unchanged.
"""

import threading

import pytest

from vantorel_community import CoverageMap

DOCUMENT = {
    "openapi": "3.0.0",
    "info": {"title": "t", "version": "1"},
    "paths": {
        "/users": {
            "get": {"responses": {"200": {"description": "ok"}}},
            "post": {"responses": {"201": {"description": "made"}}},
        },
        "/users/{id}": {
            "get": {
                "parameters": [{"name": "id", "in": "path", "required": True, "schema": {"type": "integer"}}],
                "responses": {"200": {"description": "ok"}},
            }
        },
    },
}
GROUPS = 1000


class Request:
    def __init__(self, method="GET", url="http://api.test/users", headers=None, body=None):
        self.method = method
        self.url = url
        self.headers = {} if headers is None else headers
        self.body = body


class Response:
    def __init__(self, status_code=200, elapsed=0.25, headers=None, body=None):
        self.status_code = status_code
        self.elapsed = elapsed
        self.headers = {} if headers is None else headers
        self.body = body


class Bare:
    """An object with only the attributes it is given."""

    def __init__(self, **attributes):
        self.__dict__.update(attributes)


def unmatched(i, method="GET"):
    return Request(method, f"http://api.test/nowhere/{i}")


@pytest.fixture
def coverage():
    return CoverageMap.from_dict(DOCUMENT)


@pytest.fixture
def full(coverage):
    """A map whose unmatched-request table is full."""
    for i in range(GROUPS):
        coverage.record(unmatched(i))
    assert coverage.unmatched_overflow() == 0
    return coverage


def test_fresh_map_counters_are_zero(coverage):
    assert (coverage.dropped_requests(), coverage.unmatched_overflow(), coverage.label_overflow()) == (0, 0, 0)


@pytest.mark.parametrize(
    ("request_", "new_group"),
    [
        (unmatched(0, "get"), False),  # joins the GET group
        (unmatched(0, "gEt"), False),
        (unmatched(0, "POST"), True),
        (Request("get"), False),  # the documented GET operation
        (Request("PATCH"), True),  # /users documents no PATCH
        (Request("get", "http://api.test/users/7"), False),
    ],
)
def test_method_is_read_without_regard_to_case(full, request_, new_group):
    assert full.record(request_) is None
    assert full.unmatched_overflow() == int(new_group)


def test_request_alone_and_with_none_response(full):
    full.record(unmatched(1))
    full.record(unmatched(1), None)
    full.record(request=unmatched(1), response=None, timestamp=None, labels=None)
    full.record(Request(), Response(404, headers={"Content-Type": "text/plain"}, body="gone"))
    assert full.unmatched_overflow() == 0


def test_unknown_method_raises_before_the_url_is_read(coverage):
    with pytest.raises(ValueError) as info:
        coverage.record(Bare(method="CONNECT"))
    assert str(info.value) == (
        "Invalid HTTP method: CONNECT. Possible values: GET, PUT, POST, DELETE, OPTIONS, HEAD, PATCH, TRACE, QUERY"
    )
    with pytest.raises(ValueError, match=r"^Invalid HTTP method: get /\. Possible"):
        coverage.record(Bare(method="get /"))


def test_relative_url_names_an_absolute_example(coverage):
    with pytest.raises(ValueError) as info:
        coverage.record(Request(url="/users"))
    message = str(info.value)
    assert message.startswith(
        "Invalid request URL `/users`: relative URL without a base; pass an absolute URL such as "
    )
    assert message.endswith("://localhost/users")


def test_other_url_errors_have_no_hint(coverage):
    with pytest.raises(ValueError) as info:
        coverage.record(Request(url="http://api.test:99999/users"))
    assert str(info.value) == "Invalid request URL `http://api.test:99999/users`: invalid port number"


class Headers:
    def __init__(self, pairs):
        self.pairs = pairs

    def items(self):
        return list(self.pairs)


# Each call fails on a new unmatched path: a call that recorded anything would raise the overflow.
FAILURES = [
    (Bare(), AttributeError, "method"),
    (Bare(method=b"GET"), TypeError, "'bytes' object is not an instance of 'str'"),
    (Bare(method="GET"), AttributeError, "url"),
    (Bare(method="GET", url=5), TypeError, "'int' object is not an instance of 'str'"),
    (Bare(method="GET", url="http://a.test/x"), AttributeError, "headers"),
    (Request(headers=[("a", "b")]), TypeError, "Expected a dictionary for `headers` attribute"),
    (Request(headers={"a": 1}), TypeError, "'int' object is not an instance of 'str'"),
    (Request(headers={1: "a"}), TypeError, "'int' object is not an instance of 'str'"),
    (Request(headers=Headers([("a", 2)])), TypeError, "'int' object is not an instance of 'str'"),
    (Bare(method="GET", url="http://a.test/x", headers={}), AttributeError, "body"),
    (Request(method="GET\ud800"), UnicodeEncodeError, "surrogates not allowed"),
]


@pytest.mark.parametrize(("request_", "error", "message"), FAILURES)
def test_request_failures_record_nothing(full, request_, error, message):
    if isinstance(request_, Request):
        request_.url = "http://api.test/never/seen"
    with pytest.raises(error, match=message):
        full.record(request_)
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize(
    ("response", "error", "message"),
    [
        (Response(status_code=70000), OverflowError, "^number too large to fit in target type$"),
        (Response(status_code=65536), OverflowError, "^number too large to fit in target type$"),
        (Response(status_code=2**70), OverflowError, "^number too large to fit in target type$"),
        (Response(status_code=-1), OverflowError, "^number too small to fit in target type$"),
        (Response(status_code=-(2**70)), OverflowError, "^number too small to fit in target type$"),
        (Response(status_code="200"), TypeError, "cannot be interpreted as an integer"),
        (Response(status_code=200.0), TypeError, "cannot be interpreted as an integer"),
        # Statuses are matched by their three digits: anything else is refused, not counted.
        (Response(status_code=0), ValueError, "^Invalid response status code 0: .*100 to 999"),
        (Response(status_code=99), ValueError, "^Invalid response status code 99: "),
        (Response(status_code=1000), ValueError, "^Invalid response status code 1000: "),
        (Response(status_code=65535), ValueError, "^Invalid response status code 65535: "),
        (Response(status_code=True), ValueError, "^Invalid response status code 1: "),
        (Response(elapsed="0.5"), TypeError, "must be real number"),
        (Response(elapsed=None), TypeError, "must be real number"),
        (Response(headers=7), TypeError, "Expected a dictionary for `headers` attribute"),
        (Bare(status_code=200, elapsed=0.1, body=None), AttributeError, "headers"),
        (Bare(status_code=200), AttributeError, "elapsed"),
    ],
)
def test_response_failures_record_nothing(full, response, error, message):
    with pytest.raises(error, match=message):
        full.record(Request(url="http://api.test/never/seen"), response)
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize("status", [100, 200, 999])
def test_status_codes_in_range(full, status):
    full.record(Request(url="http://api.test/never/seen"), Response(status_code=status))
    assert full.unmatched_overflow() == 1


class Seconds:
    def __float__(self):
        return 0.5


class FloatSubclass(float):
    pass


@pytest.mark.parametrize("value", [float("nan"), float("inf"), -0.5, -1, 1e300])
def test_elapsed_must_be_finite_and_non_negative(full, value):
    with pytest.raises(ValueError, match="^elapsed must be a finite, non-negative number of seconds, got "):
        full.record(Request(url="http://api.test/never/seen"), Response(elapsed=value))
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize("value", [0.25, 1, 0, Seconds(), 3.0e38])
def test_elapsed_goes_through_float(full, value):
    full.record(Request(), Response(elapsed=value))
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize(
    "body", [None, b"[1, 2]", bytearray(b"x"), memoryview(b"x"), True, False, '{"a": 1}', {"a": 1}, 12]
)
def test_bodies_of_any_kind(full, body):
    full.record(Request("POST", body=body, headers={"Content-Type": "application/json"}), Response(201, body=body))
    assert full.unmatched_overflow() == 0


def test_headers_from_items_and_case_duplicates(full):
    duplicated = {"Content-Type": "text/plain", "content-type": "application/json"}
    full.record(Request("POST", headers=duplicated, body="{}"), Response(201, headers=Headers(duplicated.items())))
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize(
    ("timestamp", "error"),
    [
        (True, "'bool' object is not an instance of 'int'"),
        (FloatSubclass(1.0), "'FloatSubclass' object is not an instance of 'int'"),
        ("5", "'str' object is not an instance of 'int'"),
    ],
)
def test_timestamp_must_be_an_exact_float_or_int(full, timestamp, error):
    with pytest.raises(TypeError) as info:
        full.record(unmatched(GROUPS), timestamp=timestamp)
    assert str(info.value) == error
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize(
    ("timestamp", "error"), [(10**400, OverflowError), (float("nan"), ValueError), (-float("inf"), ValueError)]
)
def test_timestamp_must_be_a_finite_float(full, timestamp, error):
    with pytest.raises(error):
        full.record(unmatched(GROUPS), timestamp=timestamp)
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize("timestamp", [5, 5.0, 1.7e9, 0, -86400.5])
def test_timestamps_accepted(full, timestamp):
    full.record(unmatched(GROUPS), None, timestamp)
    assert full.unmatched_overflow() == 1


@pytest.mark.parametrize("labels", [None, "smoke", [], ["a", "b"], ("a",), [f"l{i}" for i in range(9)], ["é", "a"]])
def test_labels_accepted(full, labels):
    full.record(unmatched(GROUPS), labels=labels)
    assert full.unmatched_overflow() == 1
    assert full.label_overflow() == 0


@pytest.mark.parametrize(
    ("labels", "error"),
    [
        (["a", 1], TypeError),
        (["a", "b", "c", "d", "e", None], TypeError),
        ({"a"}, TypeError),
        (b"a", TypeError),
        (["\udc80"], UnicodeEncodeError),
    ],
)
def test_label_failures_record_nothing(full, labels, error):
    with pytest.raises(error):
        full.record(unmatched(GROUPS), labels=labels)
    assert full.unmatched_overflow() == 0


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda m: m.record(), "CoverageMap.record() missing 1 required positional argument: 'request'"),
        (
            lambda m: m.record(1, 2, 3, 4, 5),
            "CoverageMap.record() takes from 1 to 4 positional arguments but 5 were given",
        ),
        (lambda m: m.record(Request(), label="x"), "CoverageMap.record() got an unexpected keyword argument 'label'"),
        (
            lambda m: m.record(Request(), request=Request()),
            "CoverageMap.record() got multiple values for argument 'request'",
        ),
        (
            lambda m: m.record_error("GET", "/users"),
            "CoverageMap.record_error() missing 1 required positional argument: 'message'",
        ),
        (
            lambda m: m.record_error("GET"),
            "CoverageMap.record_error() missing 2 required positional arguments: 'path' and 'message'",
        ),
        (
            lambda m: m.record_error(),
            "CoverageMap.record_error() missing 3 required positional arguments: 'method', 'path', and 'message'",
        ),
    ],
)
def test_binding_errors(coverage, call, message):
    with pytest.raises(TypeError) as info:
        call(coverage)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "args",
    [
        ("get", "/users", "boom"),
        ("GET", "/users", "boom"),  # the same message again
        ("GET", "/users/{id}", "boom"),
        ("GET", "/users/7", "a concrete path names no template"),
        ("PUT", "/users", "no such operation"),
        ("GET", "/nowhere", "no such path"),
        ("GET", "http://api.test/users", "a URL is reduced to its path"),
        ("GET", "/users", "lone \ud800 surrogate"),
        ("QUERY", "", ""),
    ],
)
def test_record_error_never_raises_for_paths(coverage, args):
    assert coverage.record_error(*args) is None
    assert coverage.record_error(method=args[0], path=args[1], message=args[2]) is None


def test_record_error_argument_errors(coverage):
    with pytest.raises(ValueError, match=r"^Invalid HTTP method: CONNECT\. Possible values: GET, PUT, "):
        coverage.record_error("CONNECT", "/users", "x")
    for position, name in enumerate(["method", "path", "message"]):
        args = ["GET", "/users", "x"]
        args[position] = 3
        with pytest.raises(TypeError) as info:
            coverage.record_error(*args)
        assert str(info.value) == "'int' object is not an instance of 'str'"
        assert info.value.__notes__ == [f"while processing '{name}'"]


def test_threads_recording_into_one_map_add_up(full):
    counts = [3, 50, 7, 120, 1, 64, 33, 80]
    errors = []
    start = threading.Barrier(len(counts))

    def work(thread, count):
        try:
            start.wait()
            for i in range(count):
                # Documented traffic between the new groups: it must not disturb the count.
                full.record(Request(), Response(), labels=["threads"])
                full.record(Request("get", f"http://api.test/thread/{thread}/{i}"))
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(t, c)) for t, c in enumerate(counts)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert full.unmatched_overflow() == sum(counts)


hooks = pytest.mark.skipif(
    not hasattr(CoverageMap, "_hold_lock_and_call"),
    reason="the module was built without -DVC_PYTHON_TEST_HOOKS=ON",
)


@hooks
@pytest.mark.parametrize(
    "call",
    [
        lambda m: m.record(Request()),
        lambda m: m.record_error("GET", "/users", "x"),
        lambda m: m.unmatched_overflow(),
        lambda m: m._hold_lock_and_call(lambda: None),
    ],
)
def test_reentrant_call_raises_instead_of_deadlocking(full, call):
    with pytest.raises(RuntimeError, match="re-entrantly"):
        full._hold_lock_and_call(lambda: call(full))
    # Nothing was recorded, and the lock is free again.
    assert full.unmatched_overflow() == 0
    full.record(unmatched(GROUPS))
    assert full.unmatched_overflow() == 1


@hooks
def test_reentrant_call_on_another_map_is_allowed(coverage):
    other = CoverageMap.from_dict(DOCUMENT)
    assert coverage._hold_lock_and_call(lambda: other.record(Request())) is None


@hooks
def test_internal_stop_raises_panic_exception_and_releases_the_lock(full):
    with pytest.raises(BaseException) as info:
        full._stop_under_lock()
    assert type(info.value).__name__ == "PanicException"
    assert type(info.value).__module__ == "vantorel_community"
    assert not isinstance(info.value, Exception)
    assert "invariant broken" in str(info.value)
    # The lock is free for this thread and for another one.
    full.record(unmatched(GROUPS))
    other = threading.Thread(target=full.record, args=(unmatched(GROUPS + 1),))
    other.start()
    other.join(timeout=60)
    assert not other.is_alive()
    assert full.unmatched_overflow() == 2


@pytest.mark.parametrize(
    ("member", "signature"),
    [
        ("record", "(self, /, request, response=None, timestamp=None, labels=None)"),
        ("record_error", "(self, /, method, path, message)"),
        ("dropped_requests", "(self, /)"),
        ("unmatched_overflow", "(self, /)"),
        ("label_overflow", "(self, /)"),
    ],
)
def test_text_signatures(member, signature):
    import inspect

    assert str(inspect.signature(getattr(CoverageMap, member))) == signature


@pytest.mark.parametrize(("max_length", "side"), [(3, "valid"), (2, "invalid")])
def test_a_lone_surrogate_in_a_header_becomes_three_replacement_characters(max_length, side):
    # Text decoded with surrogateescape carries lone surrogates; the exchange is still recorded,
    # each surrogate read as the three bytes of its encoding, each replaced.
    parameter = {"name": "X-Tag", "in": "header", "schema": {"type": "string", "maxLength": max_length}}
    document = {
        "openapi": "3.0.0",
        "info": {"title": "t", "version": "1"},
        "paths": {"/users": {"get": {"parameters": [parameter], "responses": {"200": {"description": "ok"}}}}},
    }
    request = Request(headers={"X-Tag": "\udc80", "x-\ud800": "a"})
    coverage = CoverageMap.from_dict(document)
    coverage.record(request, labels=["t"])
    found = coverage.covered_by("GET", "/users", location="header", name="X-Tag", keyword="/maxLength")
    assert found == {"t": side}
    through_plugin = CoverageMap.from_dict(document)
    through_plugin.requests.record(request)
    assert through_plugin.statistic()["operations"]["seen"] == 1
