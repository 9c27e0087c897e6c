#!/usr/bin/env python3
"""LumivanePages benchmark: process start to finished output, against Node on this machine.

Run by hand after a build:
    python3 bench/pages-host/bench_pages.py BUILD/pages-host/LumivanePages [--runs N]
or  cmake --build BUILD --target bench-pages-host

Two cases:
  fixed cost   a bundle that returns one byte for "{}": context creation, prelude, exit
  50 MB        the tests' zip-writing bundle over a description that yields a ~50 MB package
Each is timed (median wall and CPU time of N runs, and peak resident memory) for
LumivanePages and for Node running the same bundle with the same prelude, and with Node's
own facilities. Ratios are LumivanePages time / that runner's time (below 1:
LumivanePages is faster). On a shared machine the CPU ratio is the steadier one.
"""

import argparse
import base64
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
ZIP_BUNDLE = os.path.join(ROOT, "pages-host", "tests", "bundles", "zip_document.js")
PRELUDE_HEADER = os.path.join(ROOT, "pages-host", "src", "prelude.h")
NODE_HOST = os.path.join(HERE, "node_host.js")
EMPTY_BUNDLE = "function lumivanePages(doc) { return new Uint8Array([0x50]); }\n"


def timed_run(command):
    """Wall seconds, CPU seconds (all threads, user and system) and peak resident MiB of
    one child process."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    stderr = child.stderr.read()
    child.stderr.close()
    if child.returncode != 0:
        sys.exit(f"{command[0]} failed with {child.returncode}: {stderr.decode(errors='replace')}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def measure(command, runs):
    samples = [timed_run(command) for _ in range(runs)]
    return (statistics.median(s[0] for s in samples), statistics.median(s[1] for s in samples),
            max(s[2] for s in samples))


def fifty_megabyte_description():
    rng = random.Random(1)
    words = ["ação", "Pages", "<tag>", "&", "naïve", "😀", "relatório", "日本語", "plain", "text"]
    paragraph = lambda: " ".join(rng.choice(words) for _ in range(40))
    return {
        "title": "Benchmark",
        "paragraphs": [paragraph() for _ in range(150_000)],
        "notes": [base64.b64encode("nota de rodapé".encode()).decode()],
        "attachments": [{"name": f"image-{i}.bin",
                         "data": base64.b64encode(rng.randbytes(2_000_000)).decode()}
                        for i in range(4)],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="path of the built LumivanePages")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--make-input", metavar="PATH", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.make_input:
        with open(args.make_input, "w") as f:
            json.dump(fifty_megabyte_description(), f, ensure_ascii=False)
        return
    node = shutil.which("node") or shutil.which("nodejs")
    if not node:
        sys.exit("node is needed for the baseline")

    with tempfile.TemporaryDirectory(prefix="pages-bench-") as work:
        prelude = re.search(r'R"js\((.*)\)js"', open(PRELUDE_HEADER).read(), re.S).group(1)
        prelude_file = os.path.join(work, "prelude.js")
        open(prelude_file, "w").write(prelude)
        empty_bundle = os.path.join(work, "empty.js")
        open(empty_bundle, "w").write(EMPTY_BUNDLE)
        empty_input = os.path.join(work, "empty.json")
        open(empty_input, "w").write("{}")
        big_input = os.path.join(work, "big.json")
        # Made by a child so that this process stays small: a forked child's peak memory
        # starts from its parent's.
        subprocess.run([sys.executable, __file__, args.program, "--make-input", big_input], check=True)
        out = os.path.join(work, "out.pages")

        cases = [("fixed cost", empty_bundle, empty_input, args.runs),
                 ("50 MB document", ZIP_BUNDLE, big_input, max(1, args.runs // 2 + 1))]
        print(f"node {subprocess.run([node, '--version'], capture_output=True, text=True).stdout.strip()}, "
              f"input of the large case {os.path.getsize(big_input) / 1e6:.1f} MB")
        print(f"{'case':<16}{'runner':<24}{'wall s':>9}{'cpu s':>9}{'peak MiB':>10}"
              f"{'wall ratio':>12}{'cpu ratio':>11}")
        for name, bundle, input_path, runs in cases:
            ours = measure([args.program, bundle, input_path, out], runs)
            size = os.path.getsize(out)
            same = measure([node, NODE_HOST, prelude_file, bundle, input_path, out], runs)
            native = measure([node, NODE_HOST, "--native", bundle, input_path, out], runs)
            label = f"{name} ({size / 1e6:.1f} MB)" if size > 1000 else name
            print(label)
            for runner, (wall, cpu, rss) in (("LumivanePages", ours), ("node, same prelude", same),
                                              ("node, own facilities", native)):
                print(f"{'':<16}{runner:<24}{wall:>9.3f}{cpu:>9.3f}{rss:>10.0f}"
                      f"{ours[0] / wall:>12.2f}{ours[1] / cpu:>11.2f}")


if __name__ == "__main__":
    main()
