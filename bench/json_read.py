"""JSON reading pace: the engine's reader (schema-bench --read-json) beside Python's json.loads.

Both read the same lines, the non-blank lines of each instances.jsonl of the real-world schema
benchmark, in the same run, and each figure is megabytes (10^6 bytes) of line text per second of CPU time
(so that other work on the machine disturbs it little); the best of --repeat runs is kept for
both. Build schema-bench without sanitizers.

    python bench/json_read.py --schema-bench build/bench/tools/schema-bench [--repeat 3] [DIR]
"""

import argparse
import json
import math
import pathlib
import re
import subprocess
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_DIR = ROOT.parent / "shared" / "testdata" / "schema-benchmark"


def loads_pace(lines, total, budget_bytes=20_000_000):
    rounds = max(1, budget_bytes // max(1, total))
    start = time.process_time()
    for _ in range(rounds):
        for line in lines:
            json.loads(line)
    return total * rounds / (time.process_time() - start) / 1e6


def reader_pace(tool, path):
    out = subprocess.run([tool, "--read-json", "--cpu-clock", str(path)], check=True, capture_output=True, text=True).stdout
    return float(re.search(r"read: ([\d.]+) MB/s", out).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--schema-bench", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("dir", nargs="?", default=str(DEFAULT_DIR))
    args = parser.parse_args()
    files = sorted(pathlib.Path(args.dir).glob("*/instances.jsonl"))
    if not files:
        raise SystemExit(f"no */instances.jsonl under {args.dir}")
    ratios = []
    print(f"{'file':28s} {'bytes':>9s} {'ours MB/s':>10s} {'json.loads':>11s} {'ratio':>6s}")
    for path in files:
        raw = path.read_bytes()
        lines = [line for line in raw.splitlines() if line.strip()]
        total = sum(len(line) for line in lines)
        ours = max(reader_pace(args.schema_bench, path) for _ in range(args.repeat))
        theirs = max(loads_pace(lines, total) for _ in range(args.repeat))
        ratios.append(ours / theirs)
        print(f"{path.parent.name:28s} {total:9d} {ours:10.1f} {theirs:11.1f} {ours / theirs:6.2f}")
    print(f"geometric mean of ours / json.loads: {math.exp(sum(map(math.log, ratios)) / len(ratios)):.2f}")


if __name__ == "__main__":
    main()
