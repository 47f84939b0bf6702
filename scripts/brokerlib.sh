# Sourced by broker.sh and cluster.sh: the throw-away brokers' common ground, processes known by
# their pids, packages installed when missing, and RabbitMQ nodes kept to loopback and to a
# state folder of their own. Messages name the script that sourced it.
# shellcheck shell=bash

# shellcheck disable=SC2034 # for the scripts that source this file
rabbitmq_server_bin=/usr/lib/rabbitmq/bin/rabbitmq-server
script_name=$(basename "$0")

alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
# Alive and still running $2: a pid of a process gone long ago may belong to someone else now.
ours() {
    alive "${1:-}" || return 1
    local command
    command=$(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null) || return 1
    [[ "$command" == *"$2"* ]]
}
read_pid() { cat "$1" 2>/dev/null || true; }
# The first child of pid $1 (RabbitMQ's Erlang VM under its server script), or nothing.
first_child() { ps -o pid= --ppid "${1:-0}" 2>/dev/null | head -n 1 | tr -d ' ' || true; }
port_open() { { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null && exec 3<&- 3>&-; }
now_ms() { date +%s%3N; }

# A STOMP CONNECT on 127.0.0.1:$1 answered by CONNECTED.
stomp_ready() {
    local reply=""
    { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null || return 1
    printf 'CONNECT\naccept-version:1.2\nhost:/\nlogin:guest\npasscode:guest\n\n\0' >&3 || true
    IFS= read -r -t 2 reply <&3 || true
    exec 3<&- 3>&-
    [ "$reply" = CONNECTED ]
}

# Until STOMP on port $1 answers: 0 then, 1 as soon as the server's pid $2 (when known) has
# ended, 2 after $3 seconds.
wait_stomp() {
    local started
    started=$(now_ms)
    until stomp_ready "$1"; do
        if [ -n "${2:-}" ] && ! alive "$2"; then
            return 1
        fi
        if [ $(( $(now_ms) - started )) -ge $(( $3 * 1000 )) ]; then
            return 2
        fi
        sleep 0.2
    done
}

# Installs the Debian packages named, when any is, with sudo when not root.
install_packages() {
    [ $# -gt 0 ] || return 0
    echo "== installing: $*"
    local sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    # Another install running (a colleague's, unattended upgrades) is waited for, not failed on.
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    # The package's own start is refused without an init system; that is expected.
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "$@" >/dev/null
}

# Waits up to $2 seconds for pid $1 to end.
wait_gone() {
    local deadline=$(( $(now_ms) + $2 * 1000 ))
    while alive "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# TERM, then KILL after $3 seconds, to pid $1 when it still runs $2.
end_process() {
    ours "$1" "$2" || return 0
    kill -TERM "$1" 2>/dev/null || true
    if ! wait_gone "$1" "$3"; then
        echo "$script_name: pid $1 did not stop within $3 s; killing it" >&2
        kill -KILL "$1" 2>/dev/null || true
        wait_gone "$1" 5 || true
    fi
}

# Our own epmd in the foreground, its output in $1 and its pid in $2, so that it can be stopped
# by its pid; one already running is someone else's (another node may be registered there) and
# is used as it is.
start_epmd() {
    if ! port_open 4369; then
        nohup epmd -address 127.0.0.1 >"$1" 2>&1 </dev/null &
        echo $! >"$2"
    fi
}

# A RabbitMQ node's configuration in folder $1: AMQP on 127.0.0.1:$2, STOMP on 127.0.0.1:$3,
# guest from loopback only. The caller appends what its node needs besides.
configure_rabbitmq() {
    printf 'listeners.tcp.1 = 127.0.0.1:%s\nstomp.listeners.tcp.1 = 127.0.0.1:%s\nloopback_users.guest = true\n' \
        "$2" "$3" >"$1/rabbitmq.conf"
    echo '[rabbitmq_stomp].' >"$1/enabled_plugins"
}

# The environment of the RabbitMQ node named $1 with its state in folder $2 and its distribution
# port $3, for the server and for rabbitmqctl alike: loopback only, and nothing under /var.
rabbitmq_env() {
    export RABBITMQ_NODENAME="$1" RABBITMQ_NODE_IP_ADDRESS=127.0.0.1 RABBITMQ_DIST_PORT="$3" \
        RABBITMQ_MNESIA_BASE="$2/mnesia" RABBITMQ_LOG_BASE="$2/log" \
        RABBITMQ_CONFIG_FILE="$2/rabbitmq" RABBITMQ_ENABLED_PLUGINS_FILE="$2/enabled_plugins" \
        ERL_EPMD_ADDRESS=127.0.0.1 \
        RABBITMQ_SERVER_ADDITIONAL_ERL_ARGS="-kernel inet_dist_use_interface {127,0,0,1}"
}
