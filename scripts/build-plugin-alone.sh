#!/usr/bin/env bash
# Builds the plugin on its own as an integrator does: src/ as a project of its own, against a copy
# of the host's headers in a folder of their own, C++11 with -pedantic-errors; checks that the
# module needs no host library, and plays a shipped scenario with it in the terminal simulator of
# the main build.
#   scripts/build-plugin-alone.sh            (after the main build in ${BUILD_DIR:-build})
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
main_build="${BUILD_DIR:-$root/build}"
work="${PLUGIN_ALONE_DIR:-$root/build-plugin-alone}"

rm -rf "$work"
mkdir -p "$work/host-include"
cp "$root"/host/*.h "$work/host-include/"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
started=$SECONDS
cmake -S "$root/src" -B "$work/build" -G Ninja "${launcher[@]}" \
    -DHOST_INCLUDE_DIR="$work/host-include" -DCMAKE_CXX_FLAGS="-pedantic-errors" >/dev/null
cmake --build "$work/build" -j "$(nproc)"
echo "== plugin alone built in $((SECONDS - started)) s"

module="$(find "$work/build" -name libtavrinplugin.so -print -quit)"
needed="$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
echo "== $module needs:" $needed
if grep -q paymenthost <<<"$needed"; then
    echo "error: the module links a host library" >&2
    exit 1
fi

QT_QPA_PLATFORM=offscreen "$main_build/bin/tavrin-terminal" --headless \
    --plugin "$module" --scenario 454-passport
