#!/usr/bin/env bash
# The end-to-end tests through a real STOMP broker: builds what is missing, starts a throw-away
# broker on loopback (scripts/broker.sh start, with its TLS listener for RabbitMQ), runs the
# ctest subset labelled e2e against it (and tls, for RabbitMQ) and stops the broker by its pid
# when done, whatever happened. A broker of the same kind that was already running when the
# script started is used and left running. rabbitmq-cluster starts three RabbitMQ nodes as one
# cluster (scripts/cluster.sh) and runs the tests labelled cluster, which kill a node.
#
#   scripts/run-e2e.sh [--broker rabbitmq|activemq|rabbitmq-cluster]     RabbitMQ by default
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
rabbitmq | activemq | rabbitmq-cluster) ;;
*)
    echo "usage: $0 [--broker rabbitmq|activemq|rabbitmq-cluster]" >&2
    exit 2
    ;;
esac
# The restart check calls broker.sh, which starts the same kind again.
export TAVRIN_BROKER_KIND="$kind"
labels="^e2e$"
[ "$kind" = rabbitmq ] && labels="^(e2e|tls)$"
if [ "$kind" = rabbitmq-cluster ]; then
    broker="$root/scripts/cluster.sh"
    labels="^cluster$"
fi

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

# Exports the addresses the script printed: TAVRIN_BROKER, TAVRIN_BROKER_TLS, TAVRIN_BROKER_CA.
export_addresses() {
    local line
    while IFS= read -r line; do
        echo "$line"
        if [[ "$line" =~ ^(TAVRIN_BROKER[A-Z_]*)=(.*)$ ]]; then
            export "${BASH_REMATCH[1]}=${BASH_REMATCH[2]}"
        fi
    done
}

said="$(mktemp)"
if [ "$kind" = rabbitmq-cluster ] && "$broker" status >"$said" 2>&1; then
    echo "== using the cluster that is already running"
elif [ "$kind" != rabbitmq-cluster ] && "$broker" status 2>/dev/null | grep -q "running: $kind "; then
    echo "== using the $kind broker that is already running"
    "$broker" wait >"$said"
else
    started_here=true
    # Stopped after the tests: the cluster check need not bring back the node it kills.
    export TAVRIN_CLUSTER_DISPOSABLE=1
    tls=()
    [ "$kind" = rabbitmq ] && tls=(--tls)
    "$broker" "${tls[@]}" start >"$said"
fi
export_addresses <"$said"
rm -f "$said"
[ -n "${TAVRIN_BROKER:-}" ] || { echo "run-e2e.sh: the broker did not start" >&2; exit 1; }

log="$(mktemp)"
run_started=$(now_ms)
set +e
ctest --test-dir "$build_dir" -L "$labels" --output-on-failure -j 2 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
echo "== e2e tests against $kind ran in $(( $(now_ms) - run_started )) ms"
if grep -q '\*\*\*Skipped' "$log"; then
    echo "run-e2e.sh: an e2e test was skipped although the broker is up" >&2
    status=1
fi
rm -f "$log"
exit "$status"
