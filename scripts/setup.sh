#!/usr/bin/env bash
# One-step set-up: Debian packages, engine sources, configure and build.
# Extra arguments go to the CMake configure step (for example -DLUMIVANE_SANITIZE=ON).
source "$(dirname "$0")/lib.sh"

bash "$REPO_ROOT/scripts/install-packages.sh"
bash "$REPO_ROOT/scripts/fetch-engine.sh"

launcher=()
if command -v ccache >/dev/null; then
  # Paths relative to the checkout, so that another clone (CI's) reuses the same cache.
  export CCACHE_BASEDIR="$REPO_ROOT" CCACHE_NOHASHDIR=true
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$REPO_ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "${launcher[@]}" "$@" >/dev/null
# Build progress goes to standard error, so that standard output carries only results.
cmake --build "$BUILD_DIR" -j "$JOBS" >&2
