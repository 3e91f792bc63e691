#!/bin/bash
# Declares serial ports to a Wine prefix the way Wine is configured for them.

set -u

usage() {
    cat <<'EOF'
usage: wineports.sh add    PREFIX COMn=UNIX_PATH...
       wineports.sh remove PREFIX COMn...
       wineports.sh plug   PREFIX COMn=UNIX_PATH...
       wineports.sh unplug PREFIX COMn...

add     Registers each port under HKLM\Software\Wine\Ports, links
        PREFIX/dosdevices/comn to UNIX_PATH and, unless the running Wine
        names them already, restarts the prefix's wineserver (ending every
        program in PREFIX) and waits until Wine's mount manager has named
        them: then QueryDosDeviceW knows COMn, and opening it opens
        UNIX_PATH, which may be a symbolic link to the device.
remove  Unregisters the ports, removes their dosdevices links and restarts
        the wineserver so that Wine forgets them, unless a program other
        than Wine's own runs in PREFIX: that is not ended, and the names
        stay until the server next starts. Until then opening such a name
        opens an empty port device of Wine's.
plug    Names the ports to the running Wine as an adapter plugged in does,
        restarting nothing: links PREFIX/dosdevices/comn to UNIX_PATH and
        adds COMn to HKLM\HARDWARE\DEVICEMAP\SERIALCOMM through the prefix's
        wineserver, then waits until the entries read back. That key lives
        in the server's memory: a server started later lacks them, and
        QueryDosDeviceW never knows these ports, though they open.
unplug  Removes what plug added and is still there.

Wine reads the key only when its server starts, and ignores names above
COM255. PREFIX must have been booted (wineboot -i).
Environment: WINEPORTS_TIMEOUT (seconds to wait for Wine, default 30).
EOF
}

die() {
    echo "wineports: $*" >&2
    exit 1
}

ports_key='HKEY_LOCAL_MACHINE\Software\Wine\Ports'
names_key='HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM'
timeout_ticks=$((${WINEPORTS_TIMEOUT:-30} * 4))

if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then wine=$(command -v wine64)
else wine=$(command -v wine) || die "wine not found"
fi
wineserver=${wine%64}server

set_prefix() {
    prefix=${1%/}
    [ -n "$prefix" ] || die "empty PREFIX"
    case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
    [ -f "$prefix/system.reg" ] || die "$prefix is not a booted Wine prefix"
    work=$(mktemp -d) || die "cannot create a temporary folder"
    trap 'rm -rf "$work"' EXIT
}

# Runs "$@" with the prefix's Wine settings, its output in file $1. A
# wineserver or Wine service started on the way inherits the descriptors
# of its starter; one of the caller's pipes kept open by them would make
# the caller (CTest) wait until Wine exits. So none are passed on.
in_prefix() {
    local out=$1 fd
    shift
    (
        for fd in /proc/self/fd/*; do
            fd=${fd##*/}
            [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
        done
        export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
        exec "$@" </dev/null >"$out" 2>&1
    )
}

# Applies registry lines ("COM5"="/path" or "COM5"=-) in one Wine process.
import_ports() {
    local file=$work/ports.reg
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$ports_key"
        printf '%s\r\n' "$@"
    } >"$file"
    in_prefix "$work/import.log" "$wine" reg import "Z:${file//\//\\}" ||
        { cat "$work/import.log" >&2; die "reg import failed"; }
}

# True when the mount manager has named every port in "$@". The names are
# a volatile key that it fills at start-up, after the device names exist.
all_named() {
    local name
    in_prefix "$work/names.txt" "$wine" reg query "$names_key" || return 1
    for name in "$@"; do
        grep -qiE "REG_SZ[[:space:]]+$name[[:space:]]*$" "$work/names.txt" || return 1
    done
}

any_named() {
    local name
    in_prefix "$work/names.txt" "$wine" reg query "$names_key" || return 1
    for name in "$@"; do
        grep -qiE "REG_SZ[[:space:]]+$name[[:space:]]*$" "$work/names.txt" && return 0
    done
    return 1
}

# A program of PREFIX other than Wine's own services: a Wine process whose
# Windows name lies outside C:\windows\.
programs_run() {
    local environ proc first
    for environ in $(grep -lzxF "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null); do
        proc=${environ%/environ}
        case $(readlink "$proc/exe" 2>/dev/null) in */wine64-preloader | */wine64 | */wine-preloader | */wine) ;; *) continue ;; esac
        first=$(tr '\0' '\n' <"$proc/cmdline" 2>/dev/null | head -n 1)
        [[ ${first,,} == 'c:\windows\'* ]] || return 0
    done
    return 1
}

stop_wine() {
    in_prefix /dev/null "$wineserver" -k
    in_prefix /dev/null "$wineserver" -w
}

# COM1 to COM255: Wine skips the rest.
port_name() {
    [[ ${1^^} =~ ^COM([1-9][0-9]?|1[0-9][0-9]|2[0-4][0-9]|25[0-5])$ ]]
}

cmd_add() {
    local entry name lines=() names=() ticks=0
    for entry in "$@"; do
        name=${entry%%=*}
        [[ $entry == *=?* ]] && port_name "$name" || die "not COMn=UNIX_PATH with n from 1 to 255: $entry"
        entry=${entry#*=}
        entry=${entry//\\/\\\\}
        lines+=("\"${name^^}\"=\"${entry//\"/\\\"}\"")
        names+=("${name^^}")
    done
    import_ports "${lines[@]}"
    # The mount manager makes these links too, but only when it starts.
    for entry in "$@"; do
        name=${entry%%=*}
        ln -sfn "${entry#*=}" "$prefix/dosdevices/${name,,}" || die "cannot link ${name,,}"
    done
    all_named "${names[@]}" && return
    stop_wine
    # The server outlives this script, so it must not hold our descriptors.
    in_prefix /dev/null "$wineserver" -p30
    until all_named "${names[@]}"; do
        [ $ticks -lt $timeout_ticks ] || die "Wine has not named ${names[*]}"
        sleep 0.25
        ticks=$((ticks + 1))
    done
}

cmd_remove() {
    local name lines=() names=()
    for name in "$@"; do
        port_name "$name" || die "not a port name from COM1 to COM255: $name"
        lines+=("\"${name^^}\"=-")
        names+=("${name^^}")
    done
    import_ports "${lines[@]}"
    for name in "${names[@]}"; do
        rm -f "$prefix/dosdevices/${name,,}"
    done
    if any_named "${names[@]}" && ! programs_run; then
        stop_wine
    fi
}

# Wine names COMn \Device\Serial<n-1> in the device map.
device_name() {
    printf '\\Device\\Serial%d' $((${1:3} - 1))
}

cmd_plug() {
    local entry name names=()
    for entry in "$@"; do
        name=${entry%%=*}
        [[ $entry == *=?* ]] && port_name "$name" || die "not COMn=UNIX_PATH with n from 1 to 255: $entry"
        name=${name^^}
        ln -sfn "${entry#*=}" "$prefix/dosdevices/${name,,}" || die "cannot link ${name,,}"
        in_prefix "$work/reg.log" "$wine" reg add "$names_key" /v "$(device_name "$name")" /t REG_SZ /d "$name" /f ||
            { cat "$work/reg.log" >&2; die "reg add failed"; }
        names+=("$name")
    done
    all_named "${names[@]}" || die "Wine does not list ${names[*]}"
}

cmd_unplug() {
    local name
    for name in "$@"; do
        port_name "$name" || die "not a port name from COM1 to COM255: $name"
        rm -f "$prefix/dosdevices/${name,,}"
        # A server that ended since took the entry with it.
        in_prefix /dev/null "$wine" reg delete "$names_key" /v "$(device_name "${name^^}")" /f || true
    done
}

[ $# -ge 3 ] || { usage >&2; exit 2; }
command=$1
shift
case $command in
    add | remove | plug | unplug)
        set_prefix "$1"
        shift
        "cmd_$command" "$@"
        ;;
    *)
        usage >&2
        exit 2
        ;;
esac
