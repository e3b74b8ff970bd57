"""CoverageMap.from_url against a local server: plain HTTP, HTTPS with a test certificate authority,
redirects, credentials, error statuses and the errors of a fetch that fails."""

import base64
import http.server
import json
import ssl
import threading

import pytest

from vantorel_community import CoverageMap

DOCUMENT = {
    "openapi": "3.1.0",
    "info": {"title": "t", "version": "1"},
    "paths": {"/items": {"get": {"responses": {"200": {"description": "ok"}}}}},
}
YAML = "openapi: 3.1.0\ninfo: {title: t, version: '1'}\npaths:\n  /items:\n    get:\n      responses: {}\n"
PROXIES = ["HTTP_PROXY", "http_proxy", "HTTPS_PROXY", "https_proxy", "ALL_PROXY", "all_proxy"]


class Handler(http.server.BaseHTTPRequestHandler):
    seen = []

    def log_message(self, *args):
        pass

    def answer(self, status, body, content_type="application/json", headers=()):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        Handler.seen.append((self.path, self.headers.get("Authorization"), self.headers.get("User-Agent")))
        path = self.path.split("?")[0]
        if path == "/openapi.json":
            self.answer(200, json.dumps(DOCUMENT))
        elif path == "/openapi.yaml":
            self.answer(200, YAML, "application/yaml")
        elif path == "/moved":
            self.answer(302, "", headers=[("Location", "/openapi.json")])
        elif path == "/loop":
            self.answer(302, "", headers=[("Location", "/loop")])
        elif path == "/missing":
            self.answer(404, json.dumps({"error": "not found"}))
        elif path == "/boom":
            self.answer(500, "<html><body>Internal error</body></html>", "text/html")
        elif path == "/latin1":
            self.answer(200, json.dumps({"openapi": "3.1.0", "info": {"title": "caf\u00e9"}, "paths": {}}).encode("latin-1"))
        else:
            self.answer(404, "")


def serve(tls_context=None):
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if tls_context is not None:
        httpd.socket = tls_context.wrap_socket(httpd.socket, server_side=True)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    return httpd, thread


@pytest.fixture
def server(monkeypatch):
    for name in PROXIES:
        monkeypatch.delenv(name, raising=False)
    Handler.seen = []
    httpd, thread = serve()
    yield f"http://127.0.0.1:{httpd.server_port}"
    httpd.shutdown()
    thread.join()


def operations(coverage):
    return coverage.statistic()["operations"]["total"]


@pytest.mark.parametrize(
    "target",
    ["/openapi.json", "/openapi.yaml?v=2", "/moved"],
)
def test_documents_load_over_http(server, target):
    assert operations(CoverageMap.from_url(server + target)) == 1


def test_request_carries_accept_and_no_user_agent(server):
    CoverageMap.from_url(server + "/openapi.json")
    assert Handler.seen == [("/openapi.json", None, None)]


def test_credentials_are_sent_and_never_shown(server, monkeypatch):
    monkeypatch.setenv("_VANTOREL_XDIST", "1")
    url = server.replace("http://", "http://us%40er:s3cr%3At@") + "/openapi.json"
    coverage = CoverageMap.from_url(url)
    path, authorization, _ = Handler.seen[-1]
    assert path == "/openapi.json"
    assert authorization == "Basic " + base64.b64encode(b"us@er:s3cr:t").decode()
    assert coverage.get_options()["location"] == server.replace("http://", "http://***@") + "/openapi.json"
    with pytest.raises(OSError) as raised:
        CoverageMap.from_url(url.replace("/openapi.json", "/missing"))
    assert "s3cr" not in str(raised.value) and "***@" in str(raised.value)


@pytest.mark.parametrize(
    ("target", "status"),
    [("/missing", 404), ("/boom", 500)],
)
def test_error_statuses_raise_naming_the_status(server, target, status):
    with pytest.raises(OSError) as raised:
        CoverageMap.from_url(server + target)
    assert str(raised.value) == (
        f"Failed to fetch schema `{server}{target}`: the server answered with status {status}, not a document"
    )


def test_fetch_failures(server):
    with pytest.raises(OSError, match=r"^Failed to fetch schema `file:///etc/hostname`: the scheme `file`"):
        CoverageMap.from_url("file:///etc/hostname")
    with pytest.raises(OSError, match=r"^Failed to fetch schema `.*/loop`: .*[Rr]edirect"):
        CoverageMap.from_url(server + "/loop")
    with pytest.raises(OSError, match=r"^Failed to fetch schema `http://127\.0\.0\.1:1/`: "):
        CoverageMap.from_url("http://127.0.0.1:1/")
    with pytest.raises(TypeError, match="'bytes' object is not an instance of 'str'"):
        CoverageMap.from_url(b"http://127.0.0.1/")


def test_invalid_utf8_is_replaced_not_refused(server):
    # Invalid UTF-8 is replaced, never an error: the title keeps a replacement character.
    coverage = CoverageMap.from_url(server + "/latin1")
    assert operations(coverage) == 0


def test_https_with_a_test_authority(monkeypatch, tmp_path):
    trustme = pytest.importorskip("trustme", reason="scripts/setup installs trustme")
    for name in PROXIES:
        monkeypatch.delenv(name, raising=False)
    authority = trustme.CA()
    certificate = authority.issue_cert("127.0.0.1")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    certificate.configure_cert(context)
    httpd, thread = serve(context)
    url = f"https://127.0.0.1:{httpd.server_port}/openapi.json"
    try:
        # The system's public roots do not vouch for the test authority's certificate.
        monkeypatch.delenv("SSL_CERT_FILE", raising=False)
        with pytest.raises(OSError, match=r"^Failed to fetch schema `https://127\.0\.0\.1:\d+/openapi\.json`: "):
            CoverageMap.from_url(url)
        bundle = tmp_path / "ca.pem"
        authority.cert_pem.write_to_path(str(bundle))
        monkeypatch.setenv("SSL_CERT_FILE", str(bundle))
        assert operations(CoverageMap.from_url(url)) == 1
    finally:
        httpd.shutdown()
        thread.join()
