#!/usr/bin/env bash
# Builds what the simulators need (the programs, and through them the plugin, its translations
# and the forms; no tests) and plays the terminal simulator's built-in scenario: headless, with a
# transcript, when there is no display; in the kiosk window otherwise. Extra arguments go to
# tavrin-terminal (--help lists them, --list the shipped scenarios).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_TARGETS="tavrin-terminal tavrin-checkservice" "$root/scripts/bootstrap.sh"
mode=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    mode=(--headless)
fi
exec "${BUILD_DIR:-$root/build}/bin/tavrin-terminal" "${mode[@]}" "$@"
