#!/usr/bin/env bash
# Builds the plugin on its own as an integrator does: src/ as a project of its own, against a copy
# of the host's headers in a folder of their own, C++11 (C++17 with Qt 6) with -pedantic-errors;
# checks that the module needs no host library and no other Qt major's, and plays a shipped
# scenario with it in the terminal simulator of the main build of the same Qt major.
#   scripts/build-plugin-alone.sh            (after the main build in ${BUILD_DIR:-build})
#   TAVRIN_QT=6 BUILD_DIR=build-qt6 scripts/build-plugin-alone.sh     (the same with Qt 6)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
main_build="${BUILD_DIR:-$root/build}"
qt_major="${TAVRIN_QT:-5}"
work="${PLUGIN_ALONE_DIR:-$root/build-plugin-alone$([ "$qt_major" = 5 ] || echo "-qt$qt_major")}"

rm -rf "$work"
mkdir -p "$work/host-include"
# Exactly the headers a terminal provides: the plugin sees nothing else of its host.
cp "$root"/host/interface/*.h "$work/host-include/"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
started=$SECONDS
cmake -S "$root/src" -B "$work/build" -G Ninja "${launcher[@]}" \
    -DHOST_INCLUDE_DIR="$work/host-include" -DCMAKE_CXX_FLAGS="-pedantic-errors" \
    -DTAVRIN_QT="$qt_major" >/dev/null
cmake --build "$work/build" -j "$(nproc)"
echo "== plugin alone built in $((SECONDS - started)) s"

module="$(find "$work/build" -name libtavrinplugin.so -print -quit)"
needed="$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
echo "== $module needs:" $needed
if grep -q paymenthost <<<"$needed"; then
    echo "error: the module links a host library" >&2
    exit 1
fi
# A host of one Qt major cannot load a module that pulls in the other's libraries.
foreign="$(grep '^libQt' <<<"$needed" | grep -v "^libQt${qt_major}" || true)"
if [ -n "$foreign" ]; then
    echo "error: the Qt $qt_major module links another Qt's libraries:" $foreign >&2
    exit 1
fi

QT_QPA_PLATFORM=offscreen "$main_build/bin/tavrin-terminal" --headless \
    --plugin "$module" --scenario 454-passport
