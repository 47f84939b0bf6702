#!/usr/bin/env bash
# A throw-away RabbitMQ cluster of three nodes on loopback, as a vendor runs its brokers, for
# the fail-over tests and benchmarks.
#
#   scripts/cluster.sh start         installs RabbitMQ and python3-stomp when missing, starts the
#                                    three nodes in fresh state folders (node 1 first, the other
#                                    two joining it at their first boot) and waits until each
#                                    answers STOMP and the cluster has all three; prints
#                                    TAVRIN_BROKER=127.0.0.1:61613,127.0.0.1:61623,127.0.0.1:61633
#   scripts/cluster.sh stop          stops every node and the epmd it started, by their pids
#   scripts/cluster.sh status        each node: running or not, and its STOMP port
#   scripts/cluster.sh kill N        kills node N (1-3) with SIGKILL, as a crash would
#   scripts/cluster.sh start-node N  starts node N again on its state folder; it rejoins by itself
#
# Node N is tavrinN@localhost with STOMP on 61603+10N, AMQP on 5662+10N and its distribution
# port 20000 above that, all on 127.0.0.1. State, logs and pid files live in
# ${TAVRIN_CLUSTER_DIR:-/tmp/tavrin-cluster}. Clients declare the request and reply queues as
# quorum queues (--quorum-queues), which move to another node when theirs dies; a classic queue
# would be down until its node returns.
set -euo pipefail
# shellcheck source=scripts/brokerlib.sh
source "$(dirname "${BASH_SOURCE[0]}")/brokerlib.sh"

base="${TAVRIN_CLUSTER_DIR:-/tmp/tavrin-cluster}"
pid_dir="$base.pids"
home="$base/home"
wait_seconds="${TAVRIN_BROKER_WAIT:-120}"
ctl_bin=/usr/lib/rabbitmq/bin/rabbitmqctl
nodes=(1 2 3)

stomp_port() { echo $(( 61603 + 10 * $1 )); }
amqp_port() { echo $(( 5662 + 10 * $1 )); }
dist_port() { echo $(( $(amqp_port "$1") + 20000 )); }
node_dir() { echo "$base/node$1"; }
node_name() { echo "tavrin$1@localhost"; }

install_missing() {
    local missing=()
    [ -x "$rabbitmq_server_bin" ] || missing+=(rabbitmq-server)
    /usr/bin/python3 -c 'import stomp' 2>/dev/null || missing+=(python3-stomp)
    install_packages "${missing[@]}"
}

# The environment of node $1, for the server and for rabbitmqctl alike.
node_env() {
    local amqp
    amqp=$(amqp_port "$1")
    rabbitmq_env "$(node_name "$1")" "$(node_dir "$1")" "$(dist_port "$1")"
    export HOME="$home" RABBITMQ_NODE_PORT="$amqp" \
        RABBITMQ_CTL_ERL_ARGS="-kernel inet_dist_use_interface {127,0,0,1}" \
        RABBITMQ_CTL_DIST_PORT_MIN=0 RABBITMQ_CTL_DIST_PORT_MAX=0
}

configure_node() {
    local dir
    dir=$(node_dir "$1")
    mkdir -p "$dir/log"
    configure_rabbitmq "$dir" "$(amqp_port "$1")" "$(stomp_port "$1")"
    # Nodes 2 and 3 join node 1 at their first boot.
    {
        printf 'cluster_formation.peer_discovery_backend = classic_config\n'
        printf 'cluster_formation.classic_config.nodes.1 = %s\n' "$(node_name 1)"
    } >>"$dir/rabbitmq.conf"
}

start_node() {
    local dir
    dir=$(node_dir "$1")
    (
        node_env "$1"
        exec nohup "$rabbitmq_server_bin" >>"$dir/out" 2>&1 </dev/null
    ) &
    echo $! >"$pid_dir/node$1.server.pid"
}

# Waits until node $1 answers STOMP, then remembers its Erlang VM's pid.
wait_node() {
    local server_pid waited=0
    server_pid=$(read_pid "$pid_dir/node$1.server.pid")
    wait_stomp "$(stomp_port "$1")" "$server_pid" "$wait_seconds" || waited=$?
    case "$waited" in
    0) first_child "$server_pid" >"$pid_dir/node$1.vm.pid" ;;
    1)
        echo "cluster.sh: node $1 exited; its log:" >&2
        tail -n 30 "$(node_dir "$1")/out" >&2 || true
        ;;
    *) echo "cluster.sh: node $1 gave no STOMP CONNECTED within $wait_seconds s" >&2 ;;
    esac
    [ "$waited" -eq 0 ]
}

running_nodes() {
    (
        node_env 1
        "$ctl_bin" -n "$(node_name 1)" cluster_status --formatter json 2>/dev/null
    ) | /usr/bin/python3 -c 'import json, sys; print(len(json.load(sys.stdin).get("running_nodes", [])))' \
        2>/dev/null || echo 0
}

wait_cluster() {
    local started
    started=$(now_ms)
    until [ "$(running_nodes)" -ge "${#nodes[@]}" ]; do
        if [ $(( $(now_ms) - started )) -ge $(( wait_seconds * 1000 )) ]; then
            echo "cluster.sh: the cluster does not have its ${#nodes[@]} nodes after $wait_seconds s" >&2
            return 1
        fi
        sleep 0.5
    done
}

addresses() {
    local list=()
    for i in "${nodes[@]}"; do
        list+=("127.0.0.1:$(stomp_port "$i")")
    done
    (IFS=,; echo "TAVRIN_BROKER=${list[*]}")
}

start() {
    if [ -d "$pid_dir" ]; then
        echo "cluster.sh: clearing what an earlier cluster left behind"
        stop >/dev/null
    fi
    install_missing
    for i in "${nodes[@]}"; do
        for port in "$(stomp_port "$i")" "$(amqp_port "$i")" "$(dist_port "$i")"; do
            if port_open "$port"; then
                echo "cluster.sh: 127.0.0.1:$port is taken by another program" >&2
                return 1
            fi
        done
    done
    local started
    started=$(now_ms)
    rm -rf "$base" "$pid_dir"
    mkdir -p "$home" "$pid_dir"
    # One cookie for the three nodes and the command-line tool.
    head -c 20 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$home/.erlang.cookie"
    chmod 400 "$home/.erlang.cookie"
    start_epmd "$base/epmd.out" "$pid_dir/epmd.pid"
    for i in "${nodes[@]}"; do
        configure_node "$i"
    done
    start_node 1
    if ! wait_node 1; then
        stop >/dev/null 2>&1 || true
        return 1
    fi
    for i in "${nodes[@]:1}"; do
        start_node "$i"
    done
    for i in "${nodes[@]:1}"; do
        if ! wait_node "$i"; then
            stop >/dev/null 2>&1 || true
            return 1
        fi
    done
    if ! wait_cluster; then
        stop >/dev/null 2>&1 || true
        return 1
    fi
    echo "cluster.sh: ${#nodes[@]} nodes ready in $(( $(now_ms) - started )) ms"
    addresses
}

node_number() {
    case "${1:-}" in
    1 | 2 | 3) ;;
    *)
        echo "cluster.sh: a node is 1, 2 or 3, not \"${1:-}\"" >&2
        exit 2
        ;;
    esac
}

vm_pid() {
    local pid
    pid=$(read_pid "$pid_dir/node$1.vm.pid")
    if ! ours "$pid" beam; then
        pid=$(first_child "$(read_pid "$pid_dir/node$1.server.pid")")
    fi
    echo "$pid"
}

stop_node() {
    end_process "$(vm_pid "$1")" beam 30
    end_process "$(read_pid "$pid_dir/node$1.server.pid")" rabbitmq 10
}

stop() {
    local started
    started=$(now_ms)
    # All at once: a node stopping alone waits for its peers.
    for i in "${nodes[@]}"; do
        stop_node "$i" &
    done
    wait
    end_process "$(read_pid "$pid_dir/epmd.pid")" epmd 10
    rm -rf "$pid_dir"
    echo "cluster.sh: stopped in $(( $(now_ms) - started )) ms"
}

kill_node() {
    node_number "$1"
    local pid
    pid=$(vm_pid "$1")
    if ! ours "$pid" beam; then
        echo "cluster.sh: node $1 is not running" >&2
        return 1
    fi
    kill -KILL "$pid"
    wait_gone "$pid" 10 || true
    # Its script ends with it.
    wait_gone "$(read_pid "$pid_dir/node$1.server.pid")" 10 || true
    echo "cluster.sh: node $1 killed (pid $pid)"
}

restart_node() {
    node_number "$1"
    if ours "$(vm_pid "$1")" beam; then
        echo "cluster.sh: node $1 is running"
        return 0
    fi
    local started
    started=$(now_ms)
    start_node "$1"
    wait_node "$1"
    echo "cluster.sh: node $1 back in $(( $(now_ms) - started )) ms"
}

status() {
    local up=0
    for i in "${nodes[@]}"; do
        if ours "$(vm_pid "$i")" beam && stomp_ready "$(stomp_port "$i")"; then
            echo "node $i: running, STOMP 127.0.0.1:$(stomp_port "$i")"
            up=$(( up + 1 ))
        else
            echo "node $i: not running"
        fi
    done
    [ "$up" -gt 0 ] && addresses
    [ "$up" -gt 0 ]
}

case "${1:-}" in
start) start ;;
stop) stop ;;
status) status ;;
kill) kill_node "${2:-}" ;;
start-node) restart_node "${2:-}" ;;
*)
    echo "usage: $0 start|stop|status|kill N|start-node N" >&2
    exit 2
    ;;
esac
