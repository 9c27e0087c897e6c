#!/usr/bin/env bash
# The main job: set everything up, then transcribe a spoken sample with the built-in test
# model, showing the live transcript and writing transcript files to sample-output/.
source "$(dirname "$0")/lib.sh"

bash "$REPO_ROOT/scripts/setup.sh"

out="$REPO_ROOT/sample-output"
mkdir -p "$out"
model="$out/ggml-test-model.bin"
"$BUILD_DIR/bin/lumivane-make-test-model" "$REPO_ROOT/tools/make-test-model/sample.json" "$model"

espeak-ng -w "$out/speech.wav" \
  "And so, my fellow Americans, ask not what your country can do for you, ask what you can do for your country."
# The test model's script runs to 9.8 s: pad the spoken sample with silence to cover it.
sox "$out/speech.wav" -r 16000 -c 1 -b 16 "$out/sample.wav" pad 0 4
rm -f "$out/speech.wav"

"$BUILD_DIR/bin/LumivaneSpeech" -m "$model" -otxt -ovtt -osrt -olrc -ocsv -oj -of "$out/sample" "$out/sample.wav"

echo
log "transcript files:"
ls -1 "$out"/sample.* >&2
