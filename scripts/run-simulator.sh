#!/usr/bin/env bash
# Builds what is missing and plays the terminal simulator's built-in scenario: headless, with a
# transcript, when there is no display; in the kiosk window otherwise. Extra arguments go to
# tavrin-terminal (--help lists them, --list the shipped scenarios).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/bootstrap.sh"
mode=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    mode=(--headless)
fi
exec "${BUILD_DIR:-$root/build}/bin/tavrin-terminal" "${mode[@]}" "$@"
