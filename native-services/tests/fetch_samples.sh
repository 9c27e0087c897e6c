#!/usr/bin/env bash
# Puts the sample photos of Debian's python3-skimage package into DIR, once: the package is
# downloaded (not installed) and only the photos are kept.
set -euo pipefail
dir=$1
photos=(astronaut.png chelsea.png coffee.png)
mkdir -p "$dir"
have_all=1
for photo in "${photos[@]}"; do [[ -s "$dir/$photo" ]] || have_all=0; done
((have_all)) && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download python3-skimage >/dev/null 2>&1)
dpkg -x "$work"/python3-skimage_*.deb "$work/root"
for photo in "${photos[@]}"; do
  cp "$work/root/usr/lib/python3/dist-packages/skimage/data/$photo" "$dir/$photo"
done
