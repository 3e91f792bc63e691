#!/bin/bash
# Joins two COM ports of a Wine prefix like a null-modem cable.

set -u

usage() {
    cat <<'EOF'
usage: nullmodem.sh start  PREFIX NAME_A NAME_B [NAME_C NAME_D]...
       nullmodem.sh plug   PREFIX NAME_A NAME_B
       nullmodem.sh stop   PREFIX
       nullmodem.sh status PREFIX

start   Joins two pseudo-terminals with the rig's relay and declares
        NAME_A and NAME_B (e.g. com5 com6) to Wine as ports leading to
        them: in HKLM\Software\Wine\Ports, so that Wine names them in its
        device namespace as Windows does its ports. Wine reads that key
        when its server starts, so the prefix's wineserver is restarted,
        ending any program still running in PREFIX (see wineports.sh).
        Returns once both ends exist and Wine knows both ports; the
        relay keeps running detached. It forwards each direction on its
        own: an end that does not read holds back only what is sent to
        it. Each further two names make one more pair the same way, with
        a relay of its own. Anything left on PREFIX by an earlier run is
        cleared first.
        PREFIX must have been booted (wineboot -i): Wine skips making
        drive c: in a prefix whose dosdevices/ already exists.
plug    Joins one more pair while Wine runs, as an adapter plugged in: its
        relay, the dosdevices links and the entries in
        HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, added through the prefix's
        running wineserver (wineports.sh plug), which goes on, and so do
        the programs in PREFIX: the plug-in lists the ports at its next
        look. The entries go when that server ends.
stop    Ends the relays, removes the ports' registration and links, and
        restarts the wineserver so that Wine forgets them. May be called
        while a test holds the ports, to pull the cable: open handles then
        fail (write: ERROR_NOT_READY, read: ERROR_BROKEN_PIPE). Wine is
        then not restarted, so the names stay until its server next
        starts, and reopening the port opens an empty port device of
        Wine's rather than failing. Does nothing when nothing runs.
status  Prints the pair; exits 0 when the relay runs, 1 when it does not.

State lives in PREFIX.nullmodem/ (pid files, relay log, pty links, the
registered port names). The relay is the native program rig/ptyrelay of
the build folder that holds PREFIX (tests/rig/Rig.cmake builds it), or
NULLMODEM_RELAY.
Under Wine, WaitCommEvent only blocks on a quiet pty with libptyshim.so
in LD_PRELOAD of the program using the port (the wine64 process).
Environment: NULLMODEM_TIMEOUT (seconds to wait for the relay, default 10).
EOF
}

die() {
    echo "nullmodem: $*" >&2
    exit 1
}

timeout_ticks=$((${NULLMODEM_TIMEOUT:-10} * 20))
wineports=$(dirname "${BASH_SOURCE[0]}")/wineports.sh

set_paths() {
    prefix=${1%/}
    [ -n "$prefix" ] || die "empty PREFIX"
    case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
    run_dir=$prefix.nullmodem
    log_file=$run_dir/relay.log
    relay_pid_file=$run_dir/relay.pid
    ports_file=$run_dir/ports
    plugged_file=$run_dir/plugged
    relay=${NULLMODEM_RELAY:-$(dirname "$prefix")/rig/ptyrelay}
}

tick() {
    sleep 0.05
}

# A zombie counts as gone: detached processes are reaped by whatever init
# the container has, which may take a second or more.
alive() {
    local state
    state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ]
}

# Pid recorded in pid file $1, if that process still runs and its command
# line contains $2. After a reboot or a long pause the number can belong to
# anything, and that must not be killed.
recorded_pid() {
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 1
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    alive "$pid" || return 1
    tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qF -- "$2" || return 1
    echo "$pid"
}

relay_pid() {
    recorded_pid "$run_dir/relay.pid" "$run_dir/"
}

end_process() {
    local pid=$1 ticks=0
    kill "$pid" 2>/dev/null
    while alive "$pid"; do
        if [ $ticks -ge $timeout_ticks ]; then
            kill -9 "$pid" 2>/dev/null
            return
        fi
        tick
        ticks=$((ticks + 1))
    done
}

# Runs "$@" detached: its own session (CTest ends the process group of a
# setup test), no terminal, and none of the caller's descriptors, since a
# pipe kept open here would make CTest wait for the relay to exit. The pid
# of the process that becomes "$@" goes to pid file $1.
detach() {
    local pid_file=$1 fd
    shift
    (
        for fd in /proc/self/fd/*; do
            fd=${fd##*/}
            [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
        done
        exec setsid bash -c 'echo $$ >"$1"; shift; exec "$@"' bash "$pid_file" "$@" \
            </dev/null >>"$log_file" 2>&1
    ) &
}

# The first session leader that opens a tty without O_NOCTTY adopts it as
# controlling terminal. Wine's server is one and would adopt a pty; when
# the relay goes, the hangup sends it SIGHUP and it dumps its whole object table
# to stderr. A holder in its own session adopts the pty first.
hold_ctty() {
    local end=$1
    detach "$run_dir/hold.${end##*/}.pid" \
        bash -c 'exec <"$1" && exec sleep infinity' nullmodem-hold "$end"
}

ends_exist() {
    [ -e "$run_dir/$1" ] && [ -e "$run_dir/$2" ]
}

holders_run() {
    recorded_pid "$run_dir/hold.$1.pid" sleep >/dev/null &&
        recorded_pid "$run_dir/hold.$2.pid" sleep >/dev/null
}

# Polls "$@" until it succeeds; gives up early when the relay has died. The pid
# file is fresh here, so the process is not matched by command line: that
# reads empty while the process is between exec and its new arguments.
wait_for() {
    local what=$1 ticks=0 pid
    shift
    until "$@"; do
        pid=$(cat "$relay_pid_file" 2>/dev/null)
        if [ -n "$pid" ] && ! alive "$pid"; then
            what="$what: the relay exited"
            break
        fi
        if [ $ticks -ge $timeout_ticks ]; then
            what="$what: timed out"
            break
        fi
        tick
        ticks=$((ticks + 1))
    done
    "$@" && return
    cat "$log_file" >&2
    cmd_stop
    die "waiting for $what"
}

remove_links() {
    local dos
    # The relay removes its own links when it exits, so the dosdevices links are
    # found by where they point. com1 -> /dev/ttyS0 and the like are Wine's.
    for dos in "$prefix"/dosdevices/com*; do
        [[ -L $dos && $(readlink "$dos") == "$run_dir"/* ]] && rm -f "$dos"
    done
    rm -f "$run_dir"/com*
}

unplug() {
    local pid pid_file
    for pid_file in "$run_dir"/relay*.pid; do
        [ -f "$pid_file" ] || continue
        if pid=$(recorded_pid "$pid_file" "$run_dir/"); then
            end_process "$pid"
        fi
        rm -f "$pid_file"
    done
    for pid_file in "$run_dir"/hold.*.pid; do
        [ -f "$pid_file" ] || continue
        if pid=$(recorded_pid "$pid_file" sleep); then
            end_process "$pid"
        fi
        rm -f "$pid_file"
    done
    remove_links
}

registered_ports() {
    cat "$ports_file" 2>/dev/null
}

unregister() {
    local names
    names=$(registered_ports)
    [ -n "$names" ] || return 0
    # shellcheck disable=SC2086 # one name per word
    bash "$wineports" remove "$prefix" $names || die "cannot unregister $names"
    rm -f "$ports_file"
}

unregister_plugged() {
    local names
    names=$(cat "$plugged_file" 2>/dev/null)
    [ -n "$names" ] || return 0
    # shellcheck disable=SC2086 # one name per word
    bash "$wineports" unplug "$prefix" $names || die "cannot unplug $names"
    rm -f "$plugged_file"
}

cmd_stop() {
    unplug
    unregister_plugged
    unregister
}

cmd_start() {
    local names=("${@:2}") name twice i pid_file registrations=()
    names=("${names[@],,}")
    for name in "${names[@]}"; do
        [[ $name =~ ^com[1-9][0-9]{0,2}$ ]] || die "not a COM port name: $name"
    done
    twice=$(printf '%s\n' "${names[@]}" | sort | uniq -d | head -n 1)
    [ -z "$twice" ] || die "$twice is named twice"
    [ -x "$relay" ] || die "no relay at $relay: build the rig (cmake --build BUILD --target ptyrelay)"

    [ -d "$prefix/dosdevices" ] || die "$prefix is not a booted Wine prefix"

    unplug
    unregister_plugged
    # Ports of an earlier start with other names must not stay behind; the
    # same ones are simply registered again.
    [ "$(registered_ports)" = "${names[*]^^}" ] || unregister
    mkdir -p "$run_dir" || die "cannot create $run_dir"
    : >"$log_file"

    for ((i = 0; i < ${#names[@]}; i += 2)); do
        pid_file=$run_dir/relay.pid
        [ "$i" -eq 0 ] || pid_file=$run_dir/relay.${names[i]}.pid
        plug_pair "${names[i]}" "${names[i + 1]}" "$pid_file"
        registrations+=("${names[i]^^}=$run_dir/${names[i]}" "${names[i + 1]^^}=$run_dir/${names[i + 1]}")
    done
    echo "${names[*]^^}" >"$ports_file"
    bash "$wineports" add "$prefix" "${registrations[@]}" || {
        cmd_stop
        die "Wine did not take the ports"
    }
    cmd_status
}

# The first pair's relay keeps the pid file relay.pid; each further pair's,
# $3, is named after its first end.
plug_pair() {
    local a=$1 b=$2
    relay_pid_file=$3
    detach "$relay_pid_file" "$relay" "$run_dir/$a" "$run_dir/$b"

    wait_for "the relay to create both ends" ends_exist "$a" "$b"
    hold_ctty "$run_dir/$a"
    hold_ctty "$run_dir/$b"
    wait_for "the ends to be held" holders_run "$a" "$b"
}

cmd_plug() {
    local a=${2,,} b=${3,,}
    [[ $a =~ ^com[1-9][0-9]{0,2}$ && $b =~ ^com[1-9][0-9]{0,2}$ ]] || die "not COM port names: $a $b"
    [ "$a" != "$b" ] || die "$a is named twice"
    [ -x "$relay" ] || die "no relay at $relay: build the rig (cmake --build BUILD --target ptyrelay)"
    mkdir -p "$run_dir" || die "cannot create $run_dir"
    plug_pair "$a" "$b" "$run_dir/relay.$a.pid"
    echo "${a^^} ${b^^}" >>"$plugged_file"
    bash "$wineports" plug "$prefix" "${a^^}=$run_dir/$a" "${b^^}=$run_dir/$b" || die "Wine did not take $a and $b"
    cmd_status
}

cmd_status() {
    local pid end
    if pid=$(relay_pid); then
        for end in "$run_dir"/com*; do
            [ -L "$end" ] && echo "${end##*/} -> $(readlink "$end")"
        done
        echo "relay running, pid $pid"
        return 0
    fi
    echo "relay not running"
    return 1
}

[ $# -ge 1 ] || { usage >&2; exit 2; }
command=$1
shift
case $command in
    start)
        [ $# -ge 3 ] && [ $((($# - 1) % 2)) -eq 0 ] || { usage >&2; exit 2; }
        set_paths "$1"
        cmd_start "$@"
        ;;
    plug)
        [ $# -eq 3 ] || { usage >&2; exit 2; }
        set_paths "$1"
        cmd_plug "$@"
        ;;
    stop | status)
        [ $# -eq 1 ] || { usage >&2; exit 2; }
        set_paths "$1"
        "cmd_$command"
        ;;
    -h | --help | help)
        usage
        ;;
    *)
        usage >&2
        exit 2
        ;;
esac
