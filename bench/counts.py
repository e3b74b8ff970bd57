"""Labels and counts from Python: labelled recording against unlabelled, then export_counts,
merge_counts, label_summaries and check_thresholds(label=...) on the map that traffic left.

Every operation of the document is called `--rounds` times with its path parameters filled in, each
call labelled with one of `--labels` test names, and the same traffic is recorded again without
labels for comparison.

    PYTHONPATH=build/py/python .venv/bin/python bench/counts.py [--document PATH] [--rounds 20]

Build the module without sanitizers (scripts/test's build/py is RelWithDebInfo) for figures worth
quoting.
"""

import argparse
import json
import pathlib
import re
import time

import vantorel_community

ROOT = pathlib.Path(__file__).resolve().parent.parent
METHODS = ("get", "put", "post", "delete", "patch", "head", "options", "trace")


class Request:
    __slots__ = ("method", "url", "headers", "body")

    def __init__(self, method, url):
        self.method = method
        self.url = url
        self.headers = {}
        self.body = None


class Response:
    __slots__ = ("status_code", "elapsed", "headers", "body")

    def __init__(self):
        self.status_code = 200
        self.elapsed = 0.01
        self.headers = {"Content-Type": "application/json"}
        self.body = b"{}"


def calls(document_path):
    text = document_path.read_text(encoding="utf-8")
    if document_path.suffix in (".yaml", ".yml"):
        import yaml  # only for YAML documents

        document = yaml.safe_load(text)
    else:
        document = json.loads(text)
    out = []
    for path, item in document.get("paths", {}).items():
        if not isinstance(item, dict):
            continue
        concrete = re.sub(r"\{[^}]*\}", "1", path)
        for method in item:
            if method in METHODS:
                out.append((method.upper(), "http://api.test" + concrete))
    return out


def timed(label, action):
    start = time.perf_counter()
    result = action()
    print(f"{label:<34} {1000 * (time.perf_counter() - start):9.1f} ms")
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--document", type=pathlib.Path, default=ROOT / "examples" / "petstore" / "openapi.yaml")
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--labels", type=int, default=200)
    args = parser.parse_args()

    traffic = calls(args.document) * args.rounds
    response = Response()
    plain = vantorel_community.CoverageMap.from_path(str(args.document))
    labelled = vantorel_community.CoverageMap.from_path(str(args.document))
    print(f"{len(traffic)} calls over {len(traffic) // max(args.rounds, 1)} operations, {args.labels} labels")

    def record(coverage, with_labels):
        for i, (method, url) in enumerate(traffic):
            labels = [f"test_{i % args.labels}"] if with_labels else None
            coverage.record(Request(method, url), response, 1000.0 + i, labels)

    timed("record without labels", lambda: record(plain, False))
    timed("record with one label each", lambda: record(labelled, True))
    counts = timed("export_counts", labelled.export_counts)
    print(f"{'export size':<34} {len(counts):9d} bytes")
    fresh = vantorel_community.CoverageMap.from_path(str(args.document))
    timed("merge_counts into a fresh map", lambda: fresh.merge_counts(counts))
    timed("merge_counts into the same map", lambda: labelled.merge_counts(counts))
    timed("label_summaries", labelled.label_summaries)
    timed("check_thresholds(label=...)", lambda: labelled.check_thresholds(operations=50, label="test_1"))


if __name__ == "__main__":
    main()
