#!/usr/bin/env bash
# A throw-away STOMP broker on loopback for the end-to-end tests: RabbitMQ (the default) or
# Apache ActiveMQ.
#
#   scripts/broker.sh [--broker rabbitmq|activemq] [--tls] start
#                             installs the broker's package and python3-stomp when missing,
#                             starts the broker in a fresh state folder and waits until STOMP
#                             answers; a broker left behind by a crash is cleared away first.
#                             With --tls (RabbitMQ only) it also makes a throw-away CA, a server
#                             certificate for 127.0.0.1 and localhost and a client certificate
#                             (openssl, in the state folder), and listens for STOMP over TLS on
#                             ${TAVRIN_BROKER_TLS_PORT:-61614}; client certificates are checked
#                             when given, not required
#   scripts/broker.sh wait    waits until a STOMP CONNECT gets CONNECTED (TAVRIN_BROKER_WAIT
#                             seconds at most, 60 by default: a loaded machine needs more than 10)
#   scripts/broker.sh stop    stops every process the script started (the broker, and RabbitMQ's
#                             epmd when it was not running before), by their pids
#   scripts/broker.sh status
#
# The broker is chosen with --broker or TAVRIN_BROKER_KIND; stop, wait and status act on the
# one that was started. Listens on 127.0.0.1 only: STOMP on ${TAVRIN_BROKER_PORT:-61613};
# RabbitMQ also on AMQP ${TAVRIN_BROKER_AMQP_PORT:-5672} and its node's distribution port
# ${TAVRIN_BROKER_DIST_PORT:-AMQP + 20000}, ActiveMQ on nothing else. Login guest/guest, virtual host "/" (ActiveMQ
# takes any login and ignores the virtual host). State, logs and pid files live in
# ${TAVRIN_BROKER_DIR:-/tmp/tavrin-broker-<STOMP port>}, so that brokers on other ports are
# started, stopped and asked about apart. After start, run the tests with
# TAVRIN_BROKER=127.0.0.1:61613 (and TAVRIN_BROKER_TLS, TAVRIN_BROKER_CA as printed).
set -euo pipefail
# shellcheck source=scripts/brokerlib.sh
source "$(dirname "${BASH_SOURCE[0]}")/brokerlib.sh"

kind="${TAVRIN_BROKER_KIND:-}"
tls=false
while [ $# -gt 0 ]; do
    case "$1" in
    --broker)
        kind="${2:-}"
        shift 2 || shift
        ;;
    --tls)
        tls=true
        shift
        ;;
    *) break ;;
    esac
done
stomp_port="${TAVRIN_BROKER_PORT:-61613}"
tls_port="${TAVRIN_BROKER_TLS_PORT:-61614}"
state_dir="${TAVRIN_BROKER_DIR:-/tmp/tavrin-broker-$stomp_port}"
amqp_port="${TAVRIN_BROKER_AMQP_PORT:-5672}"
dist_port="${TAVRIN_BROKER_DIST_PORT:-$(( amqp_port + 20000 ))}"
wait_seconds="${TAVRIN_BROKER_WAIT:-60}"
activemq_jar=/usr/share/activemq/bin/activemq.jar
# The pid files live beside the state folder, which start wipes: a crashed broker's processes
# stay known until they are stopped.
pid_dir="$state_dir.pids"
kind_file="$pid_dir/kind"
server_pid_file="$pid_dir/server.pid"
vm_pid_file="$pid_dir/vm.pid"
epmd_pid_file="$pid_dir/epmd.pid"
tls_file="$pid_dir/tls"
tls_dir="$state_dir/tls"

started_kind() { cat "$kind_file" 2>/dev/null || true; }
[ -n "$kind" ] || kind=$(started_kind)
[ -n "$kind" ] || kind=rabbitmq
case "$kind" in
rabbitmq) broker_name=RabbitMQ ;;
activemq) broker_name=ActiveMQ ;;
*)
    echo "broker.sh: --broker takes rabbitmq or activemq, not \"$kind\"" >&2
    exit 2
    ;;
esac
if $tls && [ "$kind" != rabbitmq ]; then
    echo "broker.sh: --tls is for RabbitMQ only" >&2
    exit 2
fi

install_missing() {
    local missing=()
    if [ "$kind" = rabbitmq ]; then
        [ -x "$rabbitmq_server_bin" ] || missing+=(rabbitmq-server)
    else
        # OpenJDK comes with it; the package's own service has no STOMP connector and is not used.
        [ -f "$activemq_jar" ] || missing+=(activemq)
    fi
    /usr/bin/python3 -c 'import stomp' 2>/dev/null || missing+=(python3-stomp)
    if $tls; then
        command -v openssl >/dev/null || missing+=(openssl)
    fi
    install_packages "${missing[@]}"
}

wait_ready() {
    local waited=0
    wait_stomp "$stomp_port" "$(read_pid "$server_pid_file")" "$wait_seconds" || waited=$?
    case "$waited" in
    0) return 0 ;;
    1) echo "broker.sh: the broker exited; its log:" >&2 ;;
    *) echo "broker.sh: no STOMP CONNECTED on 127.0.0.1:$stomp_port within $wait_seconds s" >&2 ;;
    esac
    tail -n 30 "$state_dir/out" >&2 || true
    return 1
}

# A CA of this run only, a server certificate for the loopback names and a client certificate,
# each valid for 30 days.
make_certificates() {
    mkdir -p "$tls_dir"
    (
        cd "$tls_dir"
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
            -subj /CN=tavrin-test-ca 2>/dev/null
        openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=localhost 2>/dev/null
        printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >server.ext
        openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
            -days 30 -extfile server.ext 2>/dev/null
        openssl req -newkey rsa:2048 -nodes -keyout client.key -out client.csr -subj /CN=tavrin-terminal 2>/dev/null
        printf 'extendedKeyUsage=clientAuth\n' >client.ext
        openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out client.pem \
            -days 30 -extfile client.ext 2>/dev/null
        chmod 600 ./*.key
    )
}

start_rabbitmq() {
    configure_rabbitmq "$state_dir" "$amqp_port" "$stomp_port"
    if $tls; then
        make_certificates
        cat >>"$state_dir/rabbitmq.conf" <<CONF
stomp.listeners.ssl.1 = 127.0.0.1:$tls_port
ssl_options.cacertfile = $tls_dir/ca.pem
ssl_options.certfile = $tls_dir/server.pem
ssl_options.keyfile = $tls_dir/server.key
ssl_options.verify = verify_peer
ssl_options.fail_if_no_peer_cert = false
CONF
        touch "$tls_file"
    fi
    start_epmd "$state_dir/epmd.out" "$epmd_pid_file"

    # The server script directly: as root the /usr/sbin wrapper switches user and writes under
    # /var/log.
    (
        export HOME="$state_dir"
        rabbitmq_env rabbit@localhost "$state_dir" "$dist_port"
        exec nohup "$rabbitmq_server_bin" >"$state_dir/out" 2>&1 </dev/null
    ) &
    echo $! >"$server_pid_file"
}

start_activemq() {
    mkdir -p "$state_dir/conf" "$state_dir/data"
    # Not persistent, no JMX, no web console: the STOMP connector is all that listens.
    cat >"$state_dir/conf/activemq.xml" <<XML
<beans xmlns="http://www.springframework.org/schema/beans"
  xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
  xsi:schemaLocation="http://www.springframework.org/schema/beans http://www.springframework.org/schema/beans/spring-beans-2.0.xsd
  http://activemq.apache.org/schema/core http://activemq.apache.org/schema/core/activemq-core.xsd">
  <broker xmlns="http://activemq.apache.org/schema/core" useJmx="false" persistent="false"
          brokerName="localhost" dataDirectory="$state_dir/data">
    <transportConnectors>
      <transportConnector name="stomp" uri="stomp://127.0.0.1:$stomp_port"/>
    </transportConnectors>
  </broker>
</beans>
XML
    cp /etc/activemq/instances-available/main/log4j2.properties "$state_dir/conf/"
    (
        cd "$state_dir"
        exec nohup java -Xmx256m -Djava.net.preferIPv4Stack=true -Dactivemq.home=/usr/share/activemq \
            -Dactivemq.base="$state_dir" -Dactivemq.conf="$state_dir/conf" -Dactivemq.data="$state_dir/data" \
            -jar "$activemq_jar" start "xbean:file:$state_dir/conf/activemq.xml" \
            >"$state_dir/out" 2>&1 </dev/null
    ) &
    echo $! >"$server_pid_file"
}

start() {
    if ours "$(read_pid "$server_pid_file")" "$(server_command "$(started_kind)")"; then
        if [ "$(started_kind)" != "$kind" ]; then
            echo "broker.sh: $(started_kind) is running (pid $(read_pid "$server_pid_file")); stop it first" >&2
            return 1
        fi
        if $tls && [ ! -f "$tls_file" ]; then
            echo "broker.sh: running without TLS (pid $(read_pid "$server_pid_file")); stop it first" >&2
            return 1
        fi
        echo "broker.sh: already running (pid $(read_pid "$server_pid_file"))"
        wait_ready
        print_addresses
        return 0
    fi
    if [ -d "$pid_dir" ]; then
        # A broker that crashed, or was killed with its script: what it left is ours to clear.
        echo "broker.sh: clearing what a $(started_kind) run that did not stop cleanly left behind"
        stop >/dev/null
    fi
    install_missing
    local ports=("$stomp_port")
    [ "$kind" = rabbitmq ] && ports+=("$amqp_port" "$dist_port")
    $tls && ports+=("$tls_port")
    for port in "${ports[@]}"; do
        if port_open "$port"; then
            echo "broker.sh: 127.0.0.1:$port is taken by another program" >&2
            return 1
        fi
    done

    local started
    started=$(now_ms)
    rm -rf "$state_dir" "$pid_dir"
    mkdir -p "$state_dir/log" "$pid_dir"
    echo "$kind" >"$kind_file"
    "start_$kind"

    if ! wait_ready; then
        stop >/dev/null 2>&1 || true
        return 1
    fi
    if [ "$kind" = rabbitmq ]; then
        # The Erlang VM, known by its own pid in case the script around it dies first.
        first_child "$(read_pid "$server_pid_file")" >"$vm_pid_file"
    fi
    if $tls && ! wait_port "$tls_port"; then
        echo "broker.sh: nothing listens on the TLS port 127.0.0.1:$tls_port" >&2
        stop >/dev/null 2>&1 || true
        return 1
    fi
    echo "broker.sh: $broker_name ready in $(( $(now_ms) - started )) ms (pid $(read_pid "$server_pid_file"))"
    print_addresses
}

print_addresses() {
    echo "TAVRIN_BROKER=127.0.0.1:$stomp_port"
    if [ -f "$tls_file" ]; then
        echo "TAVRIN_BROKER_TLS=127.0.0.1:$tls_port"
        echo "TAVRIN_BROKER_CA=$tls_dir/ca.pem"
    fi
}

# The TLS listener starts with the plain one; a few seconds at most.
wait_port() {
    local deadline=$(( $(now_ms) + 10000 ))
    until port_open "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# What the broker's processes run, to tell them from whatever reuses their pids later.
server_command() {
    case "${1:-$kind}" in
    activemq) echo activemq.jar ;;
    *) echo rabbitmq ;;
    esac
}

stop() {
    local started
    started=$(now_ms)
    local server_pid vm_pid
    server_pid=$(read_pid "$server_pid_file")
    vm_pid=$(read_pid "$vm_pid_file")
    if [ "$(started_kind)" = rabbitmq ]; then
        # The Erlang VM (the script's child) shuts down cleanly on TERM; the script then ends.
        if ! ours "$vm_pid" beam; then
            vm_pid=$(first_child "$server_pid")
        fi
        end_process "$vm_pid" beam 30
        end_process "$server_pid" rabbitmq 10
        end_process "$(read_pid "$epmd_pid_file")" epmd 10
    else
        end_process "$server_pid" activemq.jar 30
    fi
    rm -rf "$pid_dir"
    echo "broker.sh: stopped in $(( $(now_ms) - started )) ms"
}

status() {
    if ours "$(read_pid "$server_pid_file")" "$(server_command "$(started_kind)")" && stomp_ready "$stomp_port"; then
        echo "running: $(started_kind) TAVRIN_BROKER=127.0.0.1:$stomp_port (pid $(read_pid "$server_pid_file"))"
        [ ! -f "$tls_file" ] || echo "TLS: TAVRIN_BROKER_TLS=127.0.0.1:$tls_port TAVRIN_BROKER_CA=$tls_dir/ca.pem"
    else
        echo "not running"
        return 1
    fi
}

case "${1:-}" in
start) start ;;
stop) stop ;;
wait) wait_ready && print_addresses ;;
status) status ;;
*)
    echo "usage: $0 [--broker rabbitmq|activemq] [--tls] start|stop|wait|status" >&2
    exit 2
    ;;
esac
