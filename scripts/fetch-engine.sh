#!/usr/bin/env bash
# Fetches the pinned speech-engine sources, checks their integrity and lays out the
# parts the build uses in .deps/whisper.cpp, then applies the project's engine patches.
#
# The package tarball is kept in $LUMIVANE_CACHE so that a rebuild never refetches it.
# The extracted tree is rebuilt from the tarball whenever the pin or a patch changes.
source "$(dirname "$0")/lib.sh"
source "$REPO_ROOT/scripts/engine.lock"

DEST="$REPO_ROOT/.deps/whisper.cpp"
PATCH_DIR="$REPO_ROOT/transcriber/neural-engine"

integrity_of() {
  python3 - "$1" <<'PY'
import base64, hashlib, sys
with open(sys.argv[1], "rb") as f:
    print("sha512-" + base64.b64encode(hashlib.sha512(f.read()).digest()).decode())
PY
}

tarball="$LUMIVANE_CACHE/$ENGINE_TARBALL"
if [[ ! -f "$tarball" || "$(integrity_of "$tarball")" != "$ENGINE_INTEGRITY" ]]; then
  mkdir -p "$LUMIVANE_CACHE"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  log "fetching $ENGINE_PACKAGE@$ENGINE_VERSION"
  (cd "$tmp" && npm pack --silent "$ENGINE_PACKAGE@$ENGINE_VERSION" </dev/null >/dev/null)
  [[ -f "$tmp/$ENGINE_TARBALL" ]] || die "npm pack did not produce $ENGINE_TARBALL"
  got=$(integrity_of "$tmp/$ENGINE_TARBALL")
  [[ "$got" == "$ENGINE_INTEGRITY" ]] || die "integrity mismatch for $ENGINE_TARBALL: $got"
  mv "$tmp/$ENGINE_TARBALL" "$tarball"
fi

patches=()
if [[ -d "$PATCH_DIR" ]]; then
  while IFS= read -r p; do patches+=("$p"); done < <(find "$PATCH_DIR" -maxdepth 1 -name '*.patch' | sort)
fi
stamp=$( { echo "$ENGINE_INTEGRITY"; cat "$REPO_ROOT/cmake/ggml-version.h.in"; \
           for p in "${patches[@]}"; do cat "$p"; done; } | sha256sum | cut -d' ' -f1)
if [[ -f "$DEST/.stamp" && "$(cat "$DEST/.stamp")" == "$stamp" ]]; then
  exit 0
fi

log "extracting engine sources into .deps/whisper.cpp"
work="$DEST.new"
rm -rf "$work"
mkdir -p "$work"
R="$ENGINE_ROOT"
# Only the engine, the tensor library, their headers and the two decoders are taken.
tar -xzf "$tarball" -C "$work" --strip-components=5 \
  "$R/CMakeLists.txt" "$R/cmake" "$R/include" "$R/src" "$R/ggml" \
  "$R/examples/miniaudio.h" "$R/examples/stb_vorbis.c"
# The package leaves out the template the tensor library configures its version header from.
[[ -f "$work/ggml/src/ggml-version.h.in" ]] || cp "$REPO_ROOT/cmake/ggml-version.h.in" "$work/ggml/src/"

for p in "${patches[@]}"; do
  if patch -d "$work" -p1 -R --dry-run --silent -f < "$p" >/dev/null 2>&1; then
    log "patch $(basename "$p") already applied"
    continue
  fi
  patch -d "$work" -p1 --silent -f --no-backup-if-mismatch < "$p" \
    || die "engine patch $(basename "$p") does not apply to $ENGINE_PACKAGE@$ENGINE_VERSION"
  log "applied $(basename "$p")"
done

echo "$stamp" > "$work/.stamp"
rm -rf "$DEST"
mv "$work" "$DEST"
