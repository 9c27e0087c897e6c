#!/usr/bin/env bash
# Sets everything up, builds, and runs every test.
source "$(dirname "$0")/lib.sh"

bash "$REPO_ROOT/scripts/setup.sh" "$@"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$JOBS" --timeout 900
