"""Recording through the client integrations: requests and httpx against a live server, Django's,
Werkzeug's and Flask's test clients.

Each integration runs the same few exchanges (query parameters, a JSON body, headers, responses
with bodies) and must reach exactly the figures that `CoverageMap.record` reaches when it is handed
the same exchanges as plain objects. No method reads hit counts back yet, so how many exchanges an
integration recorded is read from a map whose unmatched-request table is full: from then on every
recorded request to an undocumented path raises `unmatched_overflow()` by one.
"""

import asyncio
import datetime
import json
import pathlib
import sys
import threading
import types
import urllib.parse

import pytest

from vantorel_community import CoverageMap

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "petstore"
GROUPS = 1000

flask = pytest.importorskip("flask", reason="scripts/setup installs flask")
sys.path.insert(0, str(EXAMPLE))
from app import create_app  # noqa: E402

# (method, path, query, JSON body, headers): a list filtered by two query parameters, a pet created
# from a JSON body, a missing pet asked for with a documented header, a refused delete.
EXCHANGES = [
    ("GET", "/v1/pets", {"status": "available", "limit": "10"}, None, {}),
    ("POST", "/v1/pets", {}, {"name": "Rex", "species": "dog", "age": 3}, {}),
    ("GET", "/v1/pets/999", {}, None, {"X-Request-Id": "r-1"}),
    ("DELETE", "/v1/pets/1", {}, None, {"X-Api-Key": "wrong"}),
]


class Request:
    def __init__(self, method, url, headers, body):
        self.method, self.url, self.headers, self.body = method, url, headers, body


class Response:
    def __init__(self, status_code, headers, body, elapsed=0.0):
        self.status_code, self.headers, self.body, self.elapsed = status_code, headers, body, elapsed


def petstore():
    return CoverageMap.from_path(EXAMPLE / "openapi.yaml")


def figures(coverage):
    """statistic() without what depends on the clock."""

    def strip(value):
        if isinstance(value, dict):
            return {k: strip(v) for k, v in value.items() if k not in ("timeline", "elapsed_total_seconds")}
        return value

    return strip(coverage.statistic())


def fill(coverage):
    for i in range(GROUPS):
        coverage.record(Request("GET", f"http://localhost/fill/{i}", {}, None))
    assert coverage.unmatched_overflow() == 0
    return coverage


def reference_figures(responses):
    """The figures of EXCHANGES recorded through CoverageMap.record, given each response's status,
    content type and body."""
    coverage = petstore()
    for (method, path, query, body, headers), (status, content_type, content) in zip(EXCHANGES, responses):
        url = "http://localhost" + path + ("?" + urllib.parse.urlencode(query) if query else "")
        headers = dict(headers)
        if body is not None:
            headers["Content-Type"] = "application/json"
            body = json.dumps(body).encode()
        response_headers = {"Content-Type": content_type} if content_type else {}
        coverage.record(Request(method, url, headers, body), Response(status, response_headers, content))
    return figures(coverage)


def summary(response):
    """status, content type and body of a requests, httpx, Werkzeug or Django response."""
    status = response.status_code
    headers = response.headers
    content_type = headers.get("Content-Type") if hasattr(headers, "get") else headers["Content-Type"]
    body = response.content if hasattr(response, "content") else response.get_data()
    return status, content_type, body


@pytest.fixture
def server():
    """The example's application on 127.0.0.1, fresh for each test."""
    from werkzeug.serving import make_server

    app = create_app()

    @app.get("/v1/go")
    def go():
        return flask.redirect("/v1/pets")

    httpd = make_server("127.0.0.1", 0, app, threaded=True)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{httpd.server_port}"
    httpd.shutdown()
    thread.join()


def flask_app():
    app = create_app()
    app.testing = True

    @app.get("/v1/go")
    def go():
        return flask.redirect("/v1/pets")

    @app.get("/v1/boom")
    def boom():
        raise RuntimeError("boom")

    return app



requests = pytest.importorskip("requests", reason="scripts/setup installs requests")


def run_requests(session, base):
    out = []
    for method, path, query, body, headers in EXCHANGES:
        response = session.request(method, base + path, params=query or None, json=body, headers=headers)
        out.append(summary(response))
    return out


def test_requests_records_like_record(server):
    coverage = petstore()
    session = coverage.requests.track_session(requests.Session())
    responses = run_requests(session, server)
    assert [r[0] for r in responses] == [200, 201, 404, 401]
    assert figures(coverage) == reference_figures(responses)


def test_requests_hook_list_and_refusals(server):
    coverage = petstore()
    session = requests.Session()
    existing = session.hooks["response"]
    existing.append(lambda response, **kwargs: None)
    assert coverage.requests.track_session(session) is session
    assert session.hooks["response"] is existing and len(existing) == 2

    session.hooks["response"] = (1,)
    with pytest.raises(TypeError, match="^Session response hooks must be a list$"):
        coverage.requests.track_session(session)
    assert session.hooks["response"] == (1,)
    del session.hooks["response"]
    coverage.requests.track_session(session)
    assert len(session.hooks["response"]) == 1

    httpx = pytest.importorskip("httpx")
    with pytest.raises(TypeError, match="^Expected a `requests.Session` instance$"):
        coverage.requests.track_session(httpx.Client())

    class MySession(requests.Session):
        pass

    coverage.requests.track_session(MySession())
    hook = coverage.requests.response_hook()
    assert hook is not coverage.requests.response_hook() and type(hook).__name__ == "ResponseHook"


def test_requests_streaming_body_and_bytes_headers_never_break_the_call(server):
    coverage = fill(petstore())
    session = coverage.requests.track_session(requests.Session())

    def chunks():
        yield b'{"name": "Streamy", '
        yield b'"species": "cat"}'

    response = session.post(
        server + "/v1/pets", data=chunks(), headers={"Content-Type": "application/json", "X-Request-Id": b"r-\xc3\xa9"}
    )
    assert response.status_code == 201
    with open(__file__, "rb") as handle:
        response = session.post(server + "/v1/nowhere", data=handle)
    assert response.status_code == 405 or response.status_code == 404
    # The documented create and the undocumented post were both recorded.
    assert figures(coverage)["operations"]["seen"] == 1
    assert coverage.unmatched_overflow() == 1


def test_requests_tracked_twice_records_twice(server):
    coverage = fill(petstore())
    session = requests.Session()
    coverage.requests.track_session(session)
    coverage.requests.track_session(session)
    session.get(server + "/v1/nowhere")
    assert coverage.unmatched_overflow() == 2



httpx = pytest.importorskip("httpx", reason="scripts/setup installs httpx")


def test_httpx_sync_records_like_record(server):
    coverage = petstore()
    with coverage.httpx.track_client(httpx.Client(base_url=server)) as client:
        assert type(client.event_hooks["response"][0]).__name__ == "SyncResponseHook"
        responses = [
            summary(client.request(m, p, params=q or None, json=b, headers=h)) for m, p, q, b, h in EXCHANGES
        ]
    assert figures(coverage) == reference_figures(responses)


def test_httpx_async_reads_the_body_before_recording(server):
    coverage = petstore()

    async def main():
        async with coverage.httpx.track_client(httpx.AsyncClient(base_url=server)) as client:
            assert type(client.event_hooks["response"][0]).__name__ == "AsyncResponseHook"
            return [
                summary(await client.request(m, p, params=q or None, json=b, headers=h)) for m, p, q, b, h in EXCHANGES
            ]

    responses = asyncio.run(main())
    assert figures(coverage) == reference_figures(responses)


def test_httpx_refusals():
    coverage = petstore()
    with pytest.raises(TypeError, match=r"^Expected a `Client` or `AsyncClient` instance from `httpx2` or `httpx`$"):
        coverage.httpx.track_client(requests.Session())
    client = httpx.Client()
    client.event_hooks = {"request": []}
    coverage.httpx.track_client(client)
    assert [type(h).__name__ for h in client.event_hooks["response"]] == ["SyncResponseHook"]


class ClosedResponse:
    """What the asynchronous hook reads of an httpx response that is already closed."""

    is_closed = True
    status_code = 200
    elapsed = datetime.timedelta(milliseconds=5)
    content = b"[]"
    headers = {"Content-Type": "application/json"}

    def __init__(self, url="http://localhost/v1/pets"):
        self.request = types.SimpleNamespace(
            method="GET", url=url, headers={}, content=b"", read=lambda: None
        )


def test_async_hook_awaitable_completes_once():
    coverage = fill(petstore())
    response = ClosedResponse("http://localhost/v1/nowhere")
    awaitable_type = type(coverage.httpx.async_response_hook()(response))
    result = object()
    awaitable = awaitable_type(coverage, response.request, response, result)
    assert awaitable.__await__() is awaitable
    with pytest.raises(StopIteration) as stop:
        next(awaitable)
    assert stop.value.value is result
    with pytest.raises(RuntimeError, match="already been awaited"):
        next(awaitable)
    assert coverage.unmatched_overflow() == 1


def test_async_hook_conversion_error_raises_from_the_await():
    coverage = petstore()
    response = ClosedResponse("/v1/pets")
    awaitable = coverage.httpx.async_response_hook()(response)

    async def main():
        return await awaitable

    with pytest.raises(ValueError, match="relative URL without a base; pass an absolute URL"):
        asyncio.run(main())
    with pytest.raises(RuntimeError, match="already been awaited"):
        next(awaitable)
    assert figures(coverage)["operations"]["seen"] == 0




def flask_exchanges(client):
    out = []
    for method, path, query, body, headers in EXCHANGES:
        response = client.open(path, method=method, query_string=query or None, json=body, headers=headers)
        out.append(summary(response))
    return out


@pytest.mark.parametrize("kind", ["flask", "werkzeug"])
def test_flask_and_werkzeug_record_like_record(kind):
    from werkzeug.test import Client

    coverage = petstore()
    app = flask_app()
    client = app.test_client() if kind == "flask" else Client(app)
    original = client.open
    assert coverage.flask.track_client(client) is client
    assert type(client.open).__name__ == "OpenWrapper"
    assert client.open.__name__ == "open" and client.open.__wrapped__ == original
    assert client.open.__doc__ == original.__doc__
    responses = flask_exchanges(client)
    assert [r[0] for r in responses] == [200, 201, 404, 401]
    assert figures(coverage) == reference_figures(responses)


def test_flask_follow_redirects_records_each_hop_once():
    coverage = fill(petstore())
    client = coverage.flask.track_client(flask_app().test_client())
    response = client.get("/v1/go", follow_redirects=True)
    assert response.status_code == 200 and len(response.history) == 1
    # The redirect (history[0], undocumented) once, and the listing it led to.
    assert coverage.unmatched_overflow() == 1
    assert figures(coverage)["operations"]["seen"] == 1


def test_flask_errors_pass_through_and_record_nothing():
    coverage = petstore()
    client = coverage.flask.track_client(flask_app().test_client())
    with pytest.raises(RuntimeError, match="^boom$"):
        client.get("/v1/boom")
    assert figures(coverage) == figures(petstore())

    class NoHistory:
        def open(self, *args, **kwargs):
            return object()

    with pytest.raises(TypeError, match=r"^Expected an instance of `werkzeug.test.Client` or its subclass"):
        coverage.flask.track_client(NoHistory())


class WerkzeugRequest:
    def __init__(self, path, query_string=b"", method="GET", headers=(), data=b""):
        self.method, self.path, self.query_string = method, path, query_string
        self.headers = types.SimpleNamespace(items=lambda: list(headers))
        self.get_data = lambda: data


@pytest.mark.parametrize(
    ("path", "query", "new_group"),
    [
        ("/v1/pets", b"limit=5", False),
        ("/v1/pets/7", b"", False),
        # A "?", "#" or "%" in the decoded path stays in the path: the query is the query text only.
        ("/v1/pets?limit=5", b"", True),
        ("/v1/pets#x", b"", True),
        ("/v1/pets%2F7", b"", True),
        ("/v1/pets\\7", b"", True),
        ("/v1/p ets", b"", True),
        ("/v1/pets", b"limit=5#x", False),
    ],
)
def test_werkzeug_url_keeps_the_decoded_path(path, query, new_group):
    coverage = fill(petstore())
    coverage.flask.record(WerkzeugRequest(path, query))
    assert coverage.unmatched_overflow() == int(new_group)


@pytest.mark.parametrize(
    ("request_", "error", "message"),
    [
        (WerkzeugRequest("/v1/pets", "limit=5"), TypeError, "^'str' object is not an instance of 'bytes'$"),
        (WerkzeugRequest("/v1/pets", method="get "), ValueError, "^Invalid HTTP method: get \\. Possible"),
        (WerkzeugRequest(b"/v1/pets"), TypeError, "^'bytes' object is not an instance of 'str'$"),
    ],
)
def test_werkzeug_request_failures(request_, error, message):
    coverage = petstore()
    with pytest.raises(error, match=message):
        coverage.flask.record(request_)
    assert figures(coverage) == figures(petstore())


def test_werkzeug_headers_skip_odd_items_and_record_elapsed():
    coverage = petstore()
    items = [("X-Request-Id", "a"), ("X", "1", "2"), ("Y", b"bytes"), ("x-request-id", "b")]
    request = WerkzeugRequest("/v1/pets", headers=items)
    response = types.SimpleNamespace(status_code=200, headers={}, get_data=lambda: b"[]")
    coverage.flask.record(request, response, elapsed=2)
    for elapsed, error in [("soon", TypeError), (-1.0, ValueError), (float("nan"), ValueError), (1e300, ValueError)]:
        with pytest.raises(error) as raised:
            coverage.flask.record(request, response, elapsed=elapsed)
        assert "while processing 'elapsed'" in raised.value.__notes__
    stats = coverage.statistic()
    assert stats["responses"]["seen"] == 1
    assert stats["responses"]["elapsed_total_seconds"] == 2.0




class Prepared:
    def __init__(self, method="GET", url="http://localhost/v1/pets", headers=None, body=None):
        self.method, self.url, self.body = method, url, body
        self.headers = {} if headers is None else headers


class Received:
    def __init__(self, status_code=200, content=b"[]", headers=None):
        self.status_code, self.content = status_code, content
        self.headers = {"Content-Type": "application/json"} if headers is None else headers
        self.elapsed = datetime.timedelta(milliseconds=1)


@pytest.mark.parametrize("method", ["get", "Get", "GET"])
def test_method_names_ignore_ascii_case(method):
    coverage = petstore()
    coverage.requests.record(Prepared(method), Received())
    assert figures(coverage)["operations"]["seen"] == 1


@pytest.mark.parametrize(
    ("request_", "response", "error", "message"),
    [
        (Prepared("GET "), None, ValueError, r"^Invalid HTTP method: GET \. Possible values: GET, PUT, POST,"),
        (Prepared("CONNECT"), None, ValueError, "^Invalid HTTP method: CONNECT\\."),
        (
            Prepared(url="/users/1"),
            None,
            ValueError,
            r"^Invalid request URL `/users/1`: relative URL without a base; pass an absolute URL such as "
            r"http://localhost/users$",
        ),
        (Prepared(url="http://a.test:99999/x"), None, ValueError, "^Invalid request URL `http://a.test:99999/x`: "
         "invalid port number$"),
        (Prepared(headers={"A": 1}), None, TypeError, "^'int' object is not an instance of 'str'$"),
        (Prepared(body=bytearray(b"x")), Received(65536), OverflowError, "^number too large to fit in target type$"),
        (Prepared(), Received(-1), OverflowError, "^number too small to fit in target type$"),
        (Prepared(), Received(1000), ValueError, "^Invalid response status code 1000: "),
        (Prepared(), Received(99), ValueError, "^Invalid response status code 99: "),
        (Prepared(), Received(content="[]"), TypeError, "^'str' object is not an instance of 'bytes'$"),
    ],
)
def test_reader_failures_record_nothing(request_, response, error, message):
    coverage = petstore()
    with pytest.raises(error, match=message):
        coverage.requests.record(request_, response)
    assert figures(coverage) == figures(petstore())


def test_timestamps_and_headers_of_record():
    coverage = petstore()
    headers = {"Accept": "a", "accept": "b", "X-Request-Id": b"r-1"}
    coverage.requests.record(Prepared(headers=headers), Received(), timestamp=1_700_000_000)
    coverage.requests.record(Prepared(), None, 1_700_000_000.5)
    assert coverage.statistic()["operations"]["timeline"] == [(1_700_000_000.0, 1)]
    for bad in (True, FloatSubclass(1.0)):
        with pytest.raises(TypeError, match="is not an instance of 'int'"):
            coverage.requests.record(Prepared(), None, bad)


class FloatSubclass(float):
    pass



django = pytest.importorskip("django", reason="scripts/setup installs django")


def django_urls():
    from django.http import HttpResponse, HttpResponseRedirect, JsonResponse
    from django.urls import path
    from django.views.decorators.csrf import csrf_exempt

    pets = {1: {"id": 1, "name": "Tom", "species": "cat", "age": 4, "status": "available"}}

    @csrf_exempt
    def pet_list(request):
        if request.method == "POST":
            pet = {"id": 2, "status": "available", **json.loads(request.body)}
            return JsonResponse(pet, status=201)
        return JsonResponse([p for p in pets.values() if p["status"] == request.GET.get("status")], safe=False)

    @csrf_exempt
    def pet(request, pet_id):
        if request.method == "DELETE":
            return JsonResponse({"code": "unauthorized", "message": "no"}, status=401)
        return JsonResponse({"code": "not_found", "message": f"no pet {pet_id}"}, status=404)

    def boom(request):
        raise RuntimeError("boom")

    urls = types.ModuleType("integration_urls")
    urls.urlpatterns = [
        path("v1/pets", pet_list),
        path("v1/pets/<int:pet_id>", pet),
        path("v1/go", lambda request: HttpResponseRedirect("/v1/pets")),
        path("v1/boom", boom),
        path("v1/nowhere", lambda request: HttpResponse(b"", status=404)),
    ]
    return urls


@pytest.fixture(scope="module")
def django_ready():
    from django.conf import settings

    if not settings.configured:
        settings.configure(
            DEBUG=False,
            SECRET_KEY="integration-tests",
            ALLOWED_HOSTS=["testserver"],
            ROOT_URLCONF=django_urls(),
            MIDDLEWARE=[],
            INSTALLED_APPS=[],
            DATABASES={},
        )
        django.setup()
    return settings


def django_exchanges(client):
    out = []
    for method, path, query, body, headers in EXCHANGES:
        call = getattr(client, method.lower())
        if body is not None:
            response = call(path, data=json.dumps(body), content_type="application/json", headers=headers)
        else:
            response = call(path, data=query or None, headers=headers) if method == "GET" else call(path, headers=headers)
        out.append(response)
    return out


def test_django_records_like_record(django_ready):
    from django.test import Client

    coverage = petstore()
    client = Client()
    original = client.get
    assert coverage.django.track_client(client) is client
    assert type(client.get).__name__ == "MethodWrapper"
    assert client.get.__name__ == "get" and client.get.__wrapped__ == original
    responses = [summary(r) for r in django_exchanges(client)]
    assert [r[0] for r in responses] == [200, 201, 404, 401]
    assert figures(coverage) == reference_figures(responses)


def test_django_async_records_like_record(django_ready):
    from django.test import AsyncClient

    coverage = petstore()
    client = coverage.django.track_client(AsyncClient())
    assert type(client.get).__name__ == "AsyncMethodWrapper"

    async def main():
        out = []
        for response in django_exchanges(client):
            assert type(response).__name__ == "AsyncMethodCallAwaitable"
            out.append(summary(await response))
        return out

    responses = asyncio.run(main())
    assert figures(coverage) == reference_figures(responses)


@pytest.mark.parametrize("kind", ["sync", "async"])
def test_django_follow_records_each_hop_once(django_ready, kind):
    from django.test import AsyncClient, Client

    coverage = fill(petstore())
    client = coverage.django.track_client(Client() if kind == "sync" else AsyncClient())
    response = client.get("/v1/go", follow=True)
    if kind == "async":
        response = asyncio.run(_await(response))
    assert response.status_code == 200 and response.redirect_chain == [("/v1/pets", 302)]
    # The redirect (undocumented) once, the listing once.
    assert coverage.unmatched_overflow() == 1
    assert figures(coverage)["operations"]["seen"] == 1


async def _await(awaitable):
    return await awaitable


def test_django_errors_pass_through_and_record_nothing(django_ready):
    from django.test import Client

    coverage = petstore()
    client = coverage.django.track_client(Client())
    with pytest.raises(RuntimeError, match="^boom$"):
        client.get("/v1/boom")
    assert figures(coverage) == figures(petstore())
    with pytest.raises(TypeError, match=r"^Expected an instance of `django.test.Client`, `django.test.AsyncClient`"):
        coverage.django.track_client(flask_app().test_client())


def test_django_record_reads_meta():
    coverage = fill(petstore())
    meta = {"QUERY_STRING": None, "HTTP_X_REQUEST_ID": "r", "CONTENT_TYPE": "text/plain", "SERVER_NAME": "s"}
    request = types.SimpleNamespace(method="GET", path="/v1/pets", META=meta, body=b"")
    coverage.django.record(request, elapsed=None)
    assert figures(coverage)["operations"]["seen"] == 1
    with pytest.raises(KeyError):
        coverage.django.record(types.SimpleNamespace(method="GET", path="/v1/pets", META={}, body=b""))




@pytest.mark.parametrize("kind", ["requests", "httpx", "flask", "django"])
def test_two_threads_through_one_integration_add_up(server, django_ready, kind):
    coverage = fill(petstore())
    counts = [40, 25]
    errors = []
    start = threading.Barrier(len(counts))
    if kind == "requests":
        make = lambda: coverage.requests.track_session(requests.Session())  # noqa: E731
    elif kind == "httpx":
        make = lambda: coverage.httpx.track_client(httpx.Client())  # noqa: E731
    elif kind == "flask":
        tracked = coverage.flask.track_client(flask_app().test_client())
        make = lambda: tracked  # noqa: E731
    else:
        from django.test import Client

        django_plugin = coverage.django
        make = lambda: django_plugin.track_client(Client())  # noqa: E731
    base = server if kind in ("requests", "httpx") else ""

    def work(thread, count):
        try:
            client = make()
            start.wait()
            for i in range(count):
                client.get(f"{base}/thread/{thread}/{i}")
                client.get(f"{base}/v1/pets")
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(t, c)) for t, c in enumerate(counts)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert coverage.unmatched_overflow() == sum(counts)




def test_classes_are_reached_through_instances():
    import vantorel_community

    coverage = petstore()
    assert vantorel_community.__all__ == ["CoverageMap"]
    for name, getter in [
        ("RequestsPlugin", "requests"),
        ("HttpxPlugin", "httpx"),
        ("DjangoPlugin", "django"),
        ("FlaskPlugin", "flask"),
    ]:
        plugin = getattr(coverage, getter)
        cls = type(plugin)
        assert cls.__name__ == name and not hasattr(vantorel_community, name)
        assert getattr(coverage, getter) is not plugin
        assert cls.__text_signature__ == "(coverage)"
        assert type(cls(coverage)) is cls
        with pytest.raises(TypeError, match="'int' object is not an instance of 'CoverageMap'") as raised:
            cls(42)
        assert raised.value.__notes__ == ["while processing 'coverage'"]
        with pytest.raises(TypeError):

            class Sub(cls):  # noqa: F841
                pass

    with pytest.raises(AttributeError):
        coverage.requests = None
    wrapper_type = type(coverage.flask.track_client(flask_app().test_client()).open)
    with pytest.raises(TypeError):
        wrapper_type()


def test_stub_lists_the_integration_classes():
    import ast
    import inspect

    stub = pathlib.Path(__file__).resolve().parents[2] / "src" / "python" / "vantorel_community.pyi"
    tree = ast.parse(stub.read_text(encoding="utf-8"))
    classes = {n.name: n for n in tree.body if isinstance(n, ast.ClassDef)}
    coverage = petstore()
    properties = {
        n.name
        for n in classes["CoverageMap"].body
        if isinstance(n, ast.FunctionDef) and any(getattr(d, "id", None) == "property" for d in n.decorator_list)
    }
    assert {"requests", "httpx", "django", "flask"} <= properties
    plugins = [coverage.requests, coverage.httpx, coverage.django, coverage.flask]
    hooks = [coverage.requests.response_hook(), coverage.httpx.response_hook(), coverage.httpx.async_response_hook()]
    for obj in plugins + hooks:
        cls = type(obj)
        stubbed = classes["_" + cls.__name__]
        assert ast.get_docstring(stubbed).splitlines()[0] == cls.__name__ + cls.__text_signature__
        public = {n.name for n in stubbed.body if isinstance(n, ast.FunctionDef) and not n.name.startswith("_")}
        assert public == {name for name in dir(cls) if not name.startswith("_")}
        methods = {n.name: n for n in stubbed.body if isinstance(n, ast.FunctionDef)}
        for name in public:
            runtime = list(inspect.signature(getattr(obj, name)).parameters)
            assert runtime == [a.arg for a in methods[name].args.args[1:]], name


def fake_django_response(path="/v1/pets"):
    request = types.SimpleNamespace(method="GET", path=path, META={"QUERY_STRING": ""}, body=b"")
    return types.SimpleNamespace(
        asgi_request=request, status_code=200, headers={"Content-Type": "application/json"}, content=b"[]"
    )


class Tick:
    def __await__(self):
        return (yield "tick")


def test_django_async_awaitable_delegates_every_step(django_ready):
    from django.test import AsyncClient

    class Stepping(AsyncClient):
        async def get(self, path, *args, **kwargs):
            if path == "/none":
                return None
            try:
                assert await Tick() == "sent"
                await Tick()
            except KeyError:
                pass
            return fake_django_response()

    coverage = fill(petstore())
    client = coverage.django.track_client(Stepping())
    awaitable = client.get("/v1/pets")
    assert awaitable.__await__() is awaitable and iter(awaitable) is awaitable
    assert next(awaitable) == "tick"
    assert awaitable.send("sent") == "tick"
    with pytest.raises(StopIteration) as stop:
        awaitable.throw(KeyError("caught inside"))
    assert stop.value.value.status_code == 200
    assert figures(coverage)["operations"]["seen"] == 1

    failing = client.get("/v1/pets")
    next(failing)
    with pytest.raises(ZeroDivisionError):
        failing.throw(ZeroDivisionError())

    with pytest.raises(AttributeError, match="asgi_request"):
        asyncio.run(_await(client.get("/none")))
    assert coverage.unmatched_overflow() == 0


@pytest.mark.parametrize(
    ("data", "error", "message"),
    [
        (b"", None, None),
        (bytearray(b"[]"), None, None),
        ([91, 93], None, None),
        ([91, 256], OverflowError, "^number too large to fit in target type$"),
        ([-1], OverflowError, "^number too small to fit in target type$"),
        ("[]", TypeError, "str cannot be read as a byte buffer"),
        (7, TypeError, "^'int' object is not an instance of 'Sequence'$"),
    ],
)
def test_werkzeug_bodies_as_byte_buffers(data, error, message):
    coverage = petstore()
    request = WerkzeugRequest("/v1/pets")
    response = types.SimpleNamespace(status_code=200, headers={"Content-Type": "application/json"}, get_data=lambda: data)
    if error is None:
        coverage.flask.record(request, response)
        assert figures(coverage)["responses"]["seen"] == 1
    else:
        with pytest.raises(error, match=message):
            coverage.flask.record(request, response)
        assert figures(coverage) == figures(petstore())


class Counting:
    def __init__(self, **attributes):
        self.__dict__.update(attributes)
        self.reads = 0

    def read(self):
        self.reads += 1


def test_httpx_record_reads_request_once_and_response_twice():
    coverage = petstore()
    request = Counting(method="GET", url="http://localhost/v1/pets", headers={}, content=b"")
    response = Counting(
        status_code=200,
        headers={"Content-Type": "application/json"},
        content=b"[]",
        elapsed=datetime.timedelta(seconds=1),
    )
    coverage.httpx.record(request, response)
    assert (request.reads, response.reads) == (1, 2)
    assert figures(coverage)["responses"]["seen"] == 1
    request.content = "text"
    with pytest.raises(TypeError, match="^'str' object is not an instance of 'bytes'$"):
        coverage.httpx.record(request)


def test_requests_streamed_response_is_left_to_the_caller(server):
    coverage = petstore()
    session = coverage.requests.track_session(requests.Session())
    response = session.get(server + "/v1/pets", stream=True)
    assert response._content_consumed is False
    assert response.json()[0]["name"] == "Tom"
    stats = coverage.statistic()
    assert stats["responses"]["seen"] == 1
    assert stats["response_keywords"]["reached"] == 0


@pytest.mark.parametrize("kind", ["requests", "httpx"])
def test_client_errors_pass_through_and_record_nothing(kind):
    import socket

    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        url = f"http://127.0.0.1:{probe.getsockname()[1]}/v1/pets"
    coverage = petstore()
    if kind == "requests":
        client, error = coverage.requests.track_session(requests.Session()), requests.ConnectionError
    else:
        client, error = coverage.httpx.track_client(httpx.Client()), httpx.ConnectError
    with pytest.raises(error):
        client.get(url)
    assert figures(coverage) == figures(petstore())


def test_wrapped_calls_need_the_attributes_they_record_from(django_ready):
    from django.test import Client
    from werkzeug.test import Client as WerkzeugClient

    class Bare(WerkzeugClient):
        def open(self, *args, **kwargs):
            return types.SimpleNamespace(status_code=200)

    class BareDjango(Client):
        def get(self, *args, **kwargs):
            return types.SimpleNamespace(status_code=200)

    coverage = petstore()
    with pytest.raises(AttributeError, match="history"):
        coverage.flask.track_client(Bare(flask_app())).open("/v1/pets")
    with pytest.raises(AttributeError, match="wsgi_request"):
        coverage.django.track_client(BareDjango()).get("/v1/pets")
    assert figures(coverage) == figures(petstore())


def test_tracked_clients_are_collected(django_ready):
    import gc
    import weakref

    from django.test import Client

    coverage = petstore()
    # Each wrapper holds the client's bound method, which holds the client that holds the wrapper.
    refs = [
        weakref.ref(coverage.flask.track_client(flask_app().test_client())),
        weakref.ref(coverage.django.track_client(Client())),
    ]
    gc.collect()
    assert [r() for r in refs] == [None, None]


@pytest.mark.parametrize("plugin", ["requests", "httpx"])
def test_header_names_merge_without_regard_to_case(plugin):
    def delete_with(headers):
        coverage = petstore()
        request = Prepared("DELETE", "http://localhost/v1/pets/1", headers)
        request.content, request.read = b"", lambda: None
        getattr(coverage, plugin).record(request)
        return figures(coverage)

    # The later of two spellings gives the value: here the key that is long enough.
    merged = delete_with({"X-Api-Key": "short", "x-api-key": "long-enough"})
    assert merged == delete_with({"X-Api-Key": "long-enough"})
    assert merged != delete_with({"X-Api-Key": "short"})
