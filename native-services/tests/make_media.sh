#!/usr/bin/env bash
# Media for the player tests, made with ffmpeg: one short clip per container and codec, a
# colour-bar clip for the view, and files that cannot play.
set -euo pipefail
out=$1
mkdir -p "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
tone=(-f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2")
ff -f lavfi -i "testsrc=size=320x240:rate=25:duration=3" -f lavfi -i "sine=frequency=440:duration=3" \
   -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$out/clip.mp4"
ff "${tone[@]}" -c:a libmp3lame -b:a 128k "$out/clip.mp3"
# ffmpeg's sine peaks at 1/8: four times that is a peak of 0.5.
ff "${tone[@]}" -af volume=4 -c:a pcm_s16le "$out/clip.wav"
ff "${tone[@]}" -c:a libvorbis "$out/clip.ogg"
ff -f lavfi -i "testsrc=size=320x240:rate=25:duration=2" -f lavfi -i "sine=frequency=440:duration=2" \
   -c:v libvpx-vp9 -deadline realtime -b:v 500k -c:a libopus -shortest "$out/clip.webm"
# 4:3 colour bars, coded nearly losslessly so the bar colours survive.
ff -f lavfi -i "smptebars=size=320x240:rate=25:duration=2" -c:v libx264 -crf 4 -pix_fmt yuv420p "$out/bars.mp4"
# The first part of an MP4 whose index sits at the end: no index, no stream.
size=$(stat -c %s "$out/clip.mp4")
head -c $((size / 3)) "$out/clip.mp4" > "$out/truncated.mp4"
printf 'Isto não é um arquivo de mídia.\n' > "$out/text.txt"
