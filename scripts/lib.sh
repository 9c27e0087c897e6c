# Shared helpers for the project's scripts (sourced, not run).
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LUMIVANE_CACHE=${LUMIVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumivane}
BUILD_DIR=${BUILD_DIR:-$REPO_ROOT/build}
JOBS=${JOBS:-$(nproc)}

log() { printf '%s: %s\n' "$(basename "$0")" "$*" >&2; }
die() { printf '%s: error: %s\n' "$(basename "$0")" "$*" >&2; exit 1; }
