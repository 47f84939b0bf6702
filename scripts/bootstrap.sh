#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages) when it is missing, then configures and
# builds into ${BUILD_DIR:-build}: every target, or only those named in BUILD_TARGETS (separated
# by spaces). Sourced or run by the other scripts; extra arguments go to cmake's configure step.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

packages=(
    build-essential cmake ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools libqt5svg5-dev
    clang libclang-rt-14-dev
    libgtest-dev libbenchmark-dev valgrind
    python3
)
# A configure that asks for Qt 6 (-DTAVRIN_QT=6), or a build directory configured so, needs
# Debian's Qt 6 as well: UiTools' CMake files want the OpenGL ones, and the offscreen platform
# the suites run on comes with the platform plugins.
qt_major=5
grep -qs '^TAVRIN_QT:STRING=6$' "$build_dir/CMakeCache.txt" && qt_major=6
for argument in "$@"; do
    case "$argument" in
        -DTAVRIN_QT=6 | -DTAVRIN_QT:STRING=6) qt_major=6 ;;
        -DTAVRIN_QT=* | -DTAVRIN_QT:STRING=*) qt_major=5 ;;
    esac
done
if [ "$qt_major" = 6 ]; then
    packages+=(qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
               libqt6opengl6-dev qt6-qpa-plugins)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build_dir" -G Ninja "$@" >/dev/null
targets=()
for target in ${BUILD_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
