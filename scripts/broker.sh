#!/usr/bin/env bash
# A throw-away RabbitMQ broker with STOMP on loopback, for the end-to-end tests.
#
#   scripts/broker.sh start   installs rabbitmq-server and python3-stomp when missing, starts the
#                             broker in a fresh state folder and waits until STOMP answers
#   scripts/broker.sh wait    waits until a STOMP CONNECT gets CONNECTED (TAVRIN_BROKER_WAIT
#                             seconds at most, 60 by default: a loaded machine needs more than 10)
#   scripts/broker.sh stop    stops the broker and the epmd it started, by their pids
#   scripts/broker.sh status
#
# Listens on 127.0.0.1 only: STOMP on ${TAVRIN_BROKER_PORT:-61613}, AMQP on
# ${TAVRIN_BROKER_AMQP_PORT:-5672}; login guest/guest, virtual host "/". State, logs and pid
# files live in ${TAVRIN_BROKER_DIR:-/tmp/tavrin-broker}. After start, run the tests with
# TAVRIN_BROKER=127.0.0.1:61613.
set -euo pipefail

state_dir="${TAVRIN_BROKER_DIR:-/tmp/tavrin-broker}"
stomp_port="${TAVRIN_BROKER_PORT:-61613}"
amqp_port="${TAVRIN_BROKER_AMQP_PORT:-5672}"
wait_seconds="${TAVRIN_BROKER_WAIT:-60}"
server_bin=/usr/lib/rabbitmq/bin/rabbitmq-server
server_pid_file="$state_dir/server.pid"
epmd_pid_file="$state_dir/epmd.pid"

alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
read_pid() { [ -f "$1" ] && cat "$1" || true; }
port_open() { { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null && exec 3<&- 3>&-; }
now_ms() { date +%s%3N; }

stomp_ready() {
    local reply=""
    { exec 3<>"/dev/tcp/127.0.0.1/$stomp_port"; } 2>/dev/null || return 1
    printf 'CONNECT\naccept-version:1.2\nhost:/\nlogin:guest\npasscode:guest\n\n\0' >&3 || true
    IFS= read -r -t 2 reply <&3 || true
    exec 3<&- 3>&-
    [ "$reply" = CONNECTED ]
}

install_missing() {
    local missing=()
    [ -x "$server_bin" ] || missing+=(rabbitmq-server)
    /usr/bin/python3 -c 'import stomp' 2>/dev/null || missing+=(python3-stomp)
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    # The package's own start is refused without an init system; that is expected.
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

wait_ready() {
    local started
    started=$(now_ms)
    local server_pid
    server_pid=$(read_pid "$server_pid_file")
    while ! stomp_ready; do
        if [ -n "$server_pid" ] && ! alive "$server_pid"; then
            echo "broker.sh: the broker exited; its log:" >&2
            tail -n 30 "$state_dir/out" >&2 || true
            return 1
        fi
        if [ $(( $(now_ms) - started )) -ge $(( wait_seconds * 1000 )) ]; then
            echo "broker.sh: no STOMP CONNECTED on 127.0.0.1:$stomp_port within $wait_seconds s" >&2
            tail -n 30 "$state_dir/out" >&2 || true
            return 1
        fi
        sleep 0.2
    done
}

start() {
    if alive "$(read_pid "$server_pid_file")"; then
        echo "broker.sh: already running (pid $(read_pid "$server_pid_file"))"
        wait_ready
        echo "TAVRIN_BROKER=127.0.0.1:$stomp_port"
        return 0
    fi
    install_missing
    for port in "$stomp_port" "$amqp_port"; do
        if port_open "$port"; then
            echo "broker.sh: 127.0.0.1:$port is taken by another program" >&2
            return 1
        fi
    done

    local started
    started=$(now_ms)
    rm -rf "$state_dir"
    mkdir -p "$state_dir/log"
    printf 'listeners.tcp.1 = 127.0.0.1:%s\nstomp.listeners.tcp.1 = 127.0.0.1:%s\nloopback_users.guest = true\n' \
        "$amqp_port" "$stomp_port" >"$state_dir/rabbitmq.conf"
    echo '[rabbitmq_stomp].' >"$state_dir/enabled_plugins"

    # Our own epmd in the foreground, so that it can be stopped by its pid; one already running
    # is someone else's and is used as it is.
    if ! port_open 4369; then
        nohup epmd -address 127.0.0.1 >"$state_dir/epmd.out" 2>&1 </dev/null &
        echo $! >"$epmd_pid_file"
    fi

    # The server script directly: as root the /usr/sbin wrapper switches user and writes under
    # /var/log.
    (
        export HOME="$state_dir" RABBITMQ_NODENAME=rabbit@localhost RABBITMQ_NODE_IP_ADDRESS=127.0.0.1 \
            RABBITMQ_MNESIA_BASE="$state_dir/mnesia" RABBITMQ_LOG_BASE="$state_dir/log" \
            RABBITMQ_CONFIG_FILE="$state_dir/rabbitmq" \
            RABBITMQ_ENABLED_PLUGINS_FILE="$state_dir/enabled_plugins" ERL_EPMD_ADDRESS=127.0.0.1 \
            RABBITMQ_SERVER_ADDITIONAL_ERL_ARGS="-kernel inet_dist_use_interface {127,0,0,1}"
        exec nohup "$server_bin" >"$state_dir/out" 2>&1 </dev/null
    ) &
    echo $! >"$server_pid_file"

    if ! wait_ready; then
        stop >/dev/null 2>&1 || true
        return 1
    fi
    echo "broker.sh: RabbitMQ ready in $(( $(now_ms) - started )) ms (pid $(read_pid "$server_pid_file"))"
    echo "TAVRIN_BROKER=127.0.0.1:$stomp_port"
}

# Waits up to $2 seconds for pid $1 to end.
wait_gone() {
    local deadline=$(( $(now_ms) + $2 * 1000 ))
    while alive "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

stop() {
    local started
    started=$(now_ms)
    local server_pid epmd_pid
    server_pid=$(read_pid "$server_pid_file")
    epmd_pid=$(read_pid "$epmd_pid_file")
    if alive "$server_pid"; then
        # The Erlang VM (the script's child) shuts down cleanly on TERM; the script then ends.
        local vm_pids
        vm_pids=$(ps -o pid= --ppid "$server_pid" || true)
        if [ -n "$vm_pids" ]; then
            # shellcheck disable=SC2086
            kill -TERM $vm_pids 2>/dev/null || true
        else
            kill -TERM "$server_pid" 2>/dev/null || true
        fi
        if ! wait_gone "$server_pid" 30; then
            echo "broker.sh: the broker did not stop within 30 s; killing it" >&2
            # shellcheck disable=SC2086
            kill -KILL $vm_pids "$server_pid" 2>/dev/null || true
            wait_gone "$server_pid" 5 || true
        fi
    fi
    if alive "$epmd_pid"; then
        kill -TERM "$epmd_pid" 2>/dev/null || true
        wait_gone "$epmd_pid" 10 || kill -KILL "$epmd_pid" 2>/dev/null || true
    fi
    rm -f "$server_pid_file" "$epmd_pid_file"
    echo "broker.sh: stopped in $(( $(now_ms) - started )) ms"
}

status() {
    if alive "$(read_pid "$server_pid_file")" && stomp_ready; then
        echo "running: TAVRIN_BROKER=127.0.0.1:$stomp_port (pid $(read_pid "$server_pid_file"))"
    else
        echo "not running"
        return 1
    fi
}

case "${1:-}" in
start) start ;;
stop) stop ;;
wait) wait_ready && echo "TAVRIN_BROKER=127.0.0.1:$stomp_port" ;;
status) status ;;
*)
    echo "usage: $0 start|stop|wait|status" >&2
    exit 2
    ;;
esac
