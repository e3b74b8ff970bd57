"""Recording cost from Python: CoverageMap.record against json.loads of the same bodies.

Records interactions with 1 KB JSON bodies (a POST whose request body is a 1 KB pet and whose
response is the stored pet, and a GET whose response is a 1 KB list of pets) against the bundled pet
shop's document, and times json.loads of the same bodies in the same run. Then records from 4 threads
into one map and reports the throughput.

    PYTHONPATH=build/py/python .venv/bin/python bench/record.py [--count 100000]

Build the module without sanitizers (scripts/test's build/py is RelWithDebInfo) for figures worth
quoting.
"""

import argparse
import json
import pathlib
import threading
import time

import vantorel_community

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCUMENT = ROOT / "examples" / "petstore" / "openapi.yaml"


class Request:
    __slots__ = ("method", "url", "headers", "body")

    def __init__(self, method, url, headers, body):
        self.method = method
        self.url = url
        self.headers = headers
        self.body = body


class Response:
    __slots__ = ("status_code", "elapsed", "headers", "body")

    def __init__(self, status_code, headers, body):
        self.status_code = status_code
        self.elapsed = 0.001
        self.headers = headers
        self.body = body


def pet(i, padding):
    return {"id": i + 1, "name": f"pet-{i}", "species": "dog", "age": 3, "tag": "good-boy",
            "status": "available", "notes": padding}


def make_bodies():
    # A pet padded to about 1 KB (the POST's request and response), and a list of pets of about 1 KB.
    one = json.dumps(pet(0, "x" * 860)).encode()
    many = json.dumps([pet(i, "") for i in range(9)]).encode()
    return one, many


def interactions(count):
    one, many = make_bodies()
    json_headers = {"Content-Type": "application/json"}
    post = (Request("POST", "http://localhost/v1/pets", json_headers, one), Response(201, json_headers, one))
    get = (Request("GET", "http://localhost/v1/pets?limit=10", {}, None), Response(200, json_headers, many))
    pairs = [post if i % 2 == 0 else get for i in range(count)]
    bodies = [b for (req, resp) in pairs for b in (req.body, resp.body) if b is not None]
    return pairs, bodies


def record_all(coverage, pairs):
    record = coverage.record
    for request, response in pairs:
        record(request, response)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--threads", type=int, default=4)
    args = parser.parse_args()

    pairs, bodies = interactions(args.count)
    coverage = vantorel_community.CoverageMap.from_path(str(DOCUMENT))

    start = time.perf_counter()
    record_all(coverage, pairs)
    recording = time.perf_counter() - start

    start = time.perf_counter()
    for body in bodies:
        json.loads(body)
    loading = time.perf_counter() - start

    per_record = recording / args.count * 1e6
    per_loads = loading / args.count * 1e6
    print(f"record:     {per_record:8.2f} us per interaction ({args.count} interactions)")
    print(f"json.loads: {per_loads:8.2f} us for the same bodies per interaction")
    print(f"ratio:      {recording / loading:8.2f}")

    threaded = vantorel_community.CoverageMap.from_path(str(DOCUMENT))
    share = args.count // args.threads
    workers = [threading.Thread(target=record_all, args=(threaded, pairs[:share])) for _ in range(args.threads)]
    start = time.perf_counter()
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    elapsed = time.perf_counter() - start
    print(f"{args.threads} threads:  {share * args.threads / elapsed:10.0f} interactions per second "
          f"(one thread: {args.count / recording:.0f})")


if __name__ == "__main__":
    main()
