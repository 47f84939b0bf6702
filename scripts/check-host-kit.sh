#!/usr/bin/env bash
# Tries the packages as a terminal's developer does: builds them, unpacks them without root
# (dpkg -x), builds README's host program against tavrin-standin-host-dev with CMake and runs it
# offscreen, where it loads the packaged plugin and reaches the phone-number screen. Checks on
# the way that the packaged module has the dynamic section of the one built alone and needs of
# the host what README says it needs, and prints what lintian says of the packages.
#   scripts/check-host-kit.sh     (after the main build in ${BUILD_DIR:-build} and
#                                  scripts/build-plugin-alone.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
main_build="${BUILD_DIR:-$root/build}"
alone_build="${PLUGIN_ALONE_DIR:-$root/build-plugin-alone}/build"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if ! command -v lintian >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
        -o DPkg::Lock::Timeout=600 --no-install-recommends lintian
fi

started=$SECONDS
rm -f "$main_build"/*.deb
cmake --build "$main_build" --target package >/dev/null
debs=("$main_build"/*.deb)
echo "== ${#debs[@]} packages made in $((SECONDS - started)) s"
for deb in "${debs[@]}"; do
    echo "== $(dpkg-deb -f "$deb" Package): $(dpkg-deb -c "$deb" | grep -vc '/$') files"
    dpkg-deb -c "$deb" | awk '!/\/$/ {print "   ", $3, $6}'
    dpkg -x "$deb" "$work/root"
done
prefix="$work/root/opt/tavrin"
module="$prefix/lib/paymenthost/plugins/libtavrinplugin.so"

# The dynamic section without addresses and sizes: the libraries needed, the search paths.
dynamic_section() {
    readelf -d "$1" | sed -n 's/^ *0x[0-9a-f]* (\([A-Z_0-9]*\)) *\(.*\)$/\1 \2/p' \
        | awk '$1 ~ /^(NEEDED|SONAME|RPATH|RUNPATH|FLAGS|FLAGS_1)$/ {print; next} {print $1}'
}
alone_module="$(find "$alone_build" -name libtavrinplugin.so -print -quit 2>/dev/null || true)"
if [ -z "$alone_module" ]; then
    echo "error: no module built alone in $alone_build: run scripts/build-plugin-alone.sh first" >&2
    exit 1
fi
if ! diff <(dynamic_section "$module") <(dynamic_section "$alone_module"); then
    echo "error: the packaged module's dynamic section differs from the one built alone" >&2
    exit 1
fi
if dynamic_section "$module" | grep -Eq '^(RPATH|RUNPATH)'; then
    echo "error: the packaged module carries a search path" >&2
    exit 1
fi
echo "== the packaged module's dynamic section is that of the one built alone, without a search path"

# The host's symbols the module needs: those of the classes the stand-in's headers declare,
# Qt's left aside.
classes="$(sed -n 's/^class \(PAYMENTHOST_EXPORT \)\{0,1\}\([A-Za-z0-9_]*\).*/\2/p' "$prefix"/include/paymenthost/*.h \
    | grep -v '^Q' | sort -u | paste -sd'|')"
nm -DC --undefined-only "$module" | sed 's/^ *U //' | grep -E "^((typeinfo|vtable) for )?($classes)(::|$)" \
    | sort >"$work/needed.txt"
awk '/<!-- host symbols -->/ {on = 1; next} on && /^```/ {if (started) exit; started = 1; next} on && started' \
    "$root/README.md" | sort >"$work/readme-needed.txt"
if ! diff "$work/readme-needed.txt" "$work/needed.txt"; then
    echo "error: README's list of the host symbols the module needs is not the module's ('>' needed, '<' listed)" >&2
    exit 1
fi
echo "== README lists the $(wc -l <"$work/needed.txt") host symbols the module needs"

# README's host program, built against the unpacked development package.
mkdir -p "$work/myhost"
for file in main.cpp CMakeLists.txt; do
    awk -v marker="<!-- host program: $file -->" \
        '$0 == marker {on = 1; next} on && /^```/ {if (started) exit; started = 1; next} on && started' \
        "$root/README.md" >"$work/myhost/$file"
    [ -s "$work/myhost/$file" ] || { echo "error: README holds no host program $file" >&2; exit 1; }
done
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
started=$SECONDS
cmake -S "$work/myhost" -B "$work/myhost/build" -G Ninja "${launcher[@]}" \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/myhost/build" >/dev/null
echo "== README's host program built against the packages in $((SECONDS - started)) s"

output="$(QT_QPA_PLATFORM=offscreen timeout 60 "$work/myhost/build/myhost" "$module" \
    "$prefix/share/paymenthost/forms" 2>&1)" || { echo "$output" >&2; exit 1; }
echo "$output"
grep -qx 'first screen: phone' <<<"$output" || { echo "error: the phone-number screen was not reached" >&2; exit 1; }

# Informational: the tags left and why are in README ("Loading the plugin into a host").
echo "== lintian: tags of each package, with the number of files each names"
# Now and then lintian ends without a word on a busy machine: it is asked again then.
for attempt in 1 2 3; do
    lintian --tag-display-limit 0 "${debs[@]}" >"$work/lintian.txt" 2>&1 || true
    grep -q '^[A-Z]: ' "$work/lintian.txt" && break
done
grep '^[A-Z]: ' "$work/lintian.txt" | sed 's/ \[.*//' | sort | uniq -c || echo "no tags"
