#!/usr/bin/env bash
# Fuzzes the grammar parser (grammar_parser::parse and print_grammar) with libFuzzer.
#
#   transcriber/grammar-parser/fuzz/run-fuzz.sh [SECONDS]          (default 300)
#       Configures and builds build-grammar-fuzz/ with clang and LUMIVANE_FUZZ=ON (override
#       the folder with GRAMMAR_FUZZ_BUILD_DIR), writes the seed corpus from the test
#       tables, and fuzzes for SECONDS with one job. The grown corpus stays in
#       <build>/grammar-fuzz/corpus; findings land in <build>/grammar-fuzz as crash-*,
#       leak-*, timeout-* or oom-*, and the job's log in <build>/grammar-fuzz/fuzz-0.log.
#   run-fuzz.sh --smoke FUZZER TESTS
#       A short run from the seeds only: the CTest smoke test of the fuzz build.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../../.." && pwd)"
dict="$here/grammar.dict"
fuzz_options=(-dict="$dict" -max_len=8192 -close_fd_mask=2 -print_final_stats=1)

if [[ "${1:-}" == --smoke ]]; then
  fuzzer=$2 tests=$3
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/seeds" "$work/corpus"
  "$tests" --write-seeds="$work/seeds" >/dev/null
  cd "$work"
  exec "$fuzzer" -runs=20000 -seed=1 "${fuzz_options[@]}" corpus seeds
fi

seconds="${1:-300}"
build="${GRAMMAR_FUZZ_BUILD_DIR:-$repo/build-grammar-fuzz}"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVANE_FUZZ=ON \
  -DLUMIVANE_BUILD_NATIVE_SERVICES=OFF -DLUMIVANE_BUILD_PAGES_HOST=OFF -DLUMIVANE_BUILD_UPDATER=OFF \
  -DLUMIVANE_BUILD_TOOLS=OFF -DLUMIVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target grammar_parser_fuzz grammar_parser_tests -j2

bin="$build/transcriber/grammar-parser"
out="$build/grammar-fuzz"
mkdir -p "$out/seeds" "$out/corpus"
"$bin/grammar_parser_tests" --write-seeds="$out/seeds"
cd "$out"
rm -f fuzz-0.log
status=0
"$bin/grammar_parser_fuzz" -max_total_time="$seconds" -jobs=1 "${fuzz_options[@]}" corpus seeds || status=$?
tail -n 30 fuzz-0.log 2>/dev/null || true
ls crash-* leak-* timeout-* oom-* 2>/dev/null && echo "findings above" || echo "no findings"
exit "$status"
