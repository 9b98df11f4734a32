#!/usr/bin/env bash
# One screenshot per screen and state of Vela, from vela-demo scenarios on a virtual display.
# Usage: screenshots.sh BUILD_DIR [NAME...]   (names: only those shots)
set -u
build=$(realpath "${1:-build}"); shift || true
here=$(dirname "$(realpath "$0")")
out=$build/screens
mkdir -p "$out"
# The demo's settings and logs stay out of the user's folders.
export XDG_CONFIG_HOME=$out/config XDG_DATA_HOME=$out/data
# Past the first use, so the tutorial shows only where it is asked for.
settings="$XDG_CONFIG_HOME/Orvo/ORVO Vela 2.01.conf"
if [ ! -f "$settings" ]; then
  mkdir -p "$(dirname "$settings")"
  printf '[FirstUse]\nIsFirstUse=false\n' > "$settings"
fi

# name | vela-demo arguments | seconds before the shot
shots=(
  "main|normal --show main|6"
  "main-offline|offline|4"
  "input|normal --show input|6"
  "eq|normal --show eq|7"
  "output|normal --show output|6"
  "compressor|normal --show compressor|7"
  "speaker-picker|normal --show speaker|7"
  "settings-developer|normal --developer --show settings|6"
  "pin|locked --show pin|6"
  "puk|bootloader --wait-for-main 1500 --show puk|8"
  "firmware-request|update|6"
  "uploading|update --show upload|9"
  "loading|loading|5"
  "locked-on-boot|bootloader --wait-for-main 1500|8"
  "test-page|normal --developer --show test|6"
  "firmware-page|normal --developer --show firmware|6"
  "tutorial|normal --show tutorial|6"
  "new-version|normal --show newversion|6"
)

status=0
for shot in "${shots[@]}"; do
  IFS='|' read -r name args seconds <<<"$shot"
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  "$here/screenshot.sh" "$build/vela-demo $args" "$out/$name.png" "$seconds" || status=1
done
exit $status
