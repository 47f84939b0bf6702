#!/usr/bin/env bash
# The end-to-end tests through a real STOMP broker: builds what is missing, starts a throw-away
# broker on loopback (scripts/broker.sh start), runs the ctest subset labelled e2e against it
# and stops the broker by its pid when done, whatever happened. A broker of the same kind that
# was already running when the script started is used and left running.
#
#   scripts/run-e2e.sh [--broker rabbitmq|activemq]     RabbitMQ by default
#
# A skipped e2e test counts as a failure here: with the broker up, nothing may be skipped.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
broker="$root/scripts/broker.sh"
now_ms() { date +%s%3N; }

kind=rabbitmq
if [ "${1:-}" = --broker ]; then
    kind="${2:-}"
elif [ -n "${1:-}" ]; then
    kind=""
fi
case "$kind" in
rabbitmq | activemq) ;;
*)
    echo "usage: $0 [--broker rabbitmq|activemq]" >&2
    exit 2
    ;;
esac
# The restart check calls broker.sh, which starts the same kind again.
export TAVRIN_BROKER_KIND="$kind"

"$root/scripts/bootstrap.sh"

started_here=false
finish() {
    local status=$?
    if $started_here; then
        "$broker" stop || status=1
    fi
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if "$broker" status 2>/dev/null | grep -q "running: $kind "; then
    echo "== using the $kind broker that is already running"
else
    started_here=true
    "$broker" start
fi
export TAVRIN_BROKER="127.0.0.1:${TAVRIN_BROKER_PORT:-61613}"

log="$(mktemp)"
run_started=$(now_ms)
set +e
ctest --test-dir "$build_dir" -L e2e --output-on-failure -j 2 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
echo "== e2e tests against $kind ran in $(( $(now_ms) - run_started )) ms"
if grep -q '\*\*\*Skipped' "$log"; then
    echo "run-e2e.sh: an e2e test was skipped although the broker is up" >&2
    status=1
fi
rm -f "$log"
exit "$status"
