#!/usr/bin/env bash
# Installs the Debian packages that every part of the project lists in its packages.txt.
# Safe to re-run: only missing packages are installed, and the package index is refreshed
# at most once per run.
source "$(dirname "$0")/lib.sh"

wanted=()
for list in "$REPO_ROOT"/*/packages.txt; do
  while read -r pkg _; do
    [[ -z "$pkg" || "$pkg" == \#* ]] && continue
    wanted+=("$pkg")
  done < "$list"
done

missing=()
for pkg in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
  log "all ${#wanted[@]} packages present"
  exit 0
fi

SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO=sudo
log "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq </dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
