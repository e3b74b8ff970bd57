"""The request and response objects the recording tests hand to CoverageMap.record(): plain
attribute holders, as the record() protocol reads them."""


class Request:
    def __init__(self, url, method="GET", body=None, headers=None):
        self.method = method
        self.url = url
        self.headers = headers or {}
        self.body = body


class Response:
    def __init__(self, status_code=200, elapsed=0.5, body=None):
        self.status_code = status_code
        self.elapsed = elapsed
        self.headers = {"Content-Type": "application/json"}
        self.body = body
