#!/usr/bin/env bash
# Fuzzes the RTF reader and the HTML and DOCX writers with libFuzzer.
#
#   native-services/fuzz/run-fuzz.sh [SECONDS]          (default 300)
#       Configures and builds build-rtf-fuzz/ with clang and LUMIVANE_FUZZ=ON (override with
#       RTF_FUZZ_BUILD_DIR), writes a seed corpus and fuzzes for SECONDS with one job. The corpus
#       stays in <build>/rtf-fuzz/corpus; findings land in <build>/rtf-fuzz as crash-*, leak-*,
#       timeout-* or oom-*.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
seconds="${1:-300}"
build="${RTF_FUZZ_BUILD_DIR:-$repo/build-rtf-fuzz}"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVANE_FUZZ=ON \
  -DLUMIVANE_BUILD_TRANSCRIBER=OFF -DLUMIVANE_BUILD_PAGES_HOST=OFF -DLUMIVANE_BUILD_UPDATER=OFF \
  -DLUMIVANE_BUILD_TOOLS=OFF -DLUMIVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target rich_text_fuzz -j2

out="$build/rtf-fuzz"
mkdir -p "$out/seeds" "$out/corpus"
printf '%s' '{\rtf1\ansi\ansicpg1252{\fonttbl\f0\fswiss\fcharset0 Helvetica;}{\colortbl;\red255\green0\blue0;}\pard\qc\f0\fs24\cf1 Caf\'"'"'e9 \b bold\b0 \u8364 ?\par}' >"$out/seeds/mac.rtf"
printf '%s' '{\rtf1{\field{\*\fldinst{HYPERLINK "https://x"}}{\fldrslt{\ul link}}}{{\NeXTGraphic ab.png \width10}}{\pict\pngblip 89504e47}}' >"$out/seeds/objects.rtf"
if command -v pandoc >/dev/null; then
  printf '**b** *i* [l](https://e) ação\n\n- x\n' | pandoc -s -t rtf -o "$out/seeds/pandoc.rtf"
fi
cd "$out"
rm -f fuzz-0.log
status=0
"$build/native-services/rich_text_fuzz" -max_total_time="$seconds" -jobs=1 -dict="$here/rtf.dict" \
  -max_len=16384 -close_fd_mask=2 -print_final_stats=1 corpus seeds || status=$?
tail -n 30 fuzz-0.log 2>/dev/null || true
ls crash-* leak-* timeout-* oom-* 2>/dev/null && echo "findings above" || echo "no findings"
exit "$status"
