"""JSON report cost as the document's diagnostics grow.

Builds maps whose every path template carries one problem (a response key that is not three
characters long) and a parameter whose schema names a missing definition, so a map of N templates
reports 2N diagnostics, and times generate_json_report for N = 2,500 to 40,000. The time per
diagnostic stays flat when diagnostics are grouped and found through indexes; a linear search per
template or per operation shows as a time per diagnostic that grows with N.

    PYTHONPATH=build/py/python .venv/bin/python bench/json_report.py [--repeat 3]
"""

import argparse
import json
import time

import vantorel_community


def document(n):
    paths = {}
    for i in range(n):
        paths[f"/items{i}/{{id}}"] = {
            "get": {
                "parameters": [
                    {"name": "id", "in": "path", "required": True, "schema": {"type": "string"}},
                    {"name": "q", "in": "query", "schema": {"$ref": "#/components/schemas/Missing"}},
                ],
                "responses": {"20": {"description": "bad key"}, "200": {"description": "ok"}},
            }
        }
    return {"openapi": "3.1.0", "paths": paths}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    print(f"{'templates':>10} {'diagnostics':>12} {'best s':>10} {'us/diagnostic':>14} {'MB':>8}")
    for n in (2500, 5000, 10000, 20000, 40000):
        coverage = vantorel_community.CoverageMap.from_dict(document(n))
        best = float("inf")
        text = ""
        for _ in range(args.repeat):
            start = time.perf_counter()
            text = coverage.generate_json_report()
            best = min(best, time.perf_counter() - start)
        count = len(json.loads(text).get("diagnostics", []))
        print(f"{n:>10} {count:>12} {best:>10.4f} {best / max(count, 1) * 1e6:>14.2f} {len(text) / 1e6:>8.1f}")


if __name__ == "__main__":
    main()
