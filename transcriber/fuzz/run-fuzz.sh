#!/usr/bin/env bash
# Fuzzes LumivaneSpeech's command line (speech_cli_fuzz) and audio decoding (speech_audio_fuzz).
#
#   transcriber/fuzz/run-fuzz.sh cli|audio [SECONDS]          (default 300)
#       Configures and builds build-speech-fuzz/ with clang and LUMIVANE_FUZZ=ON (override the
#       folder with SPEECH_FUZZ_BUILD_DIR), writes seeds, and fuzzes for SECONDS with one job.
#       The grown corpus stays in <build>/speech-fuzz-NAME/corpus; findings land there as
#       crash-*, leak-*, timeout-* or oom-*, and the job's log in fuzz-0.log.
#   run-fuzz.sh --smoke FUZZER
#       A short run from the seeds only: the CTest smoke test of the fuzz build.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

# Seeds: a few real command lines, or one short file of each container.
write_seeds() {
  local kind=$1 dir=$2
  mkdir -p "$dir"
  if [[ $kind == cli ]]; then
    printf -- '-m\0model.bin\0-t\0002\0-otxt\0-of\0-\0a.wav' > "$dir/args"
    printf -- '-p\0002\0-tp\0000.5\0-tpi\0000.2\0--suppress-regex\0[a-z]+\0-h' > "$dir/numbers"
    printf -- '\001-m\nmodel.bin\n-f\na.wav\n-otxt\n' > "$dir/response"
    printf -- '-h\001\0011' > "$dir/device"
  else
    local t; t=$(mktemp -d)
    sox -n -r 16000 -c 1 -b 16 "$t/a.wav" synth 0.05 sine 440
    sox -n -r 8000 -c 2 "$t/a.flac" synth 0.05 sine 440
    ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=0.1" -ar 16000 "$t/a.mp3"
    ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=0.1" -ar 16000 -c:a libvorbis "$t/a.ogg"
    for f in "$t"/*; do
      { printf '\0'; cat "$f"; } > "$dir/mono-$(basename "$f")"
      { printf '\1'; cat "$f"; } > "$dir/stereo-$(basename "$f")"
    done
    rm -rf "$t"
  fi
}

options() {
  case $1 in
    *cli*) echo "-max_len=4096 -close_fd_mask=3 -print_final_stats=1" ;;
    *) echo "-max_len=65536 -rss_limit_mb=3072 -malloc_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1" ;;
  esac
}

if [[ "${1:-}" == --smoke ]]; then
  fuzzer=$2
  kind=audio; [[ $(basename "$fuzzer") == *cli* ]] && kind=cli
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  write_seeds "$kind" "$work/seeds"
  mkdir -p "$work/corpus"
  cd "$work"
  # shellcheck disable=SC2046
  exec "$fuzzer" -runs=3000 -seed=1 $(options "$kind") corpus seeds
fi

kind=${1:?usage: run-fuzz.sh cli|audio [SECONDS]}
seconds="${2:-300}"
build="${SPEECH_FUZZ_BUILD_DIR:-$repo/build-speech-fuzz}"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVANE_FUZZ=ON \
  -DLUMIVANE_BUILD_NATIVE_SERVICES=OFF -DLUMIVANE_BUILD_PAGES_HOST=OFF -DLUMIVANE_BUILD_UPDATER=OFF \
  -DLUMIVANE_BUILD_TOOLS=OFF -DLUMIVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "speech_${kind}_fuzz" -j2

out="$build/speech-fuzz-$kind"
mkdir -p "$out/corpus"
write_seeds "$kind" "$out/seeds"
cd "$out"
rm -f fuzz-0.log
status=0
# shellcheck disable=SC2046
"$build/bin/speech_${kind}_fuzz" -max_total_time="$seconds" -jobs=1 $(options "$kind") corpus seeds || status=$?
tail -n 30 fuzz-0.log 2>/dev/null || true
ls crash-* leak-* timeout-* oom-* 2>/dev/null && echo "findings above" || echo "no findings"
exit "$status"
