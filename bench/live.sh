#!/usr/bin/env bash
# live.sh - live capacity: how fast a veth may carry frames before the capture loses any.
#
# usage: bench/live.sh --ombrix PATH [--capture FILE] [--rates "50000 100000 200000 400000"]
#                      [--seconds 5] [--packets 300000]
#   Two network namespaces joined by a veth pair. `ombrix --headless` (fresh database) and then
#   darkstat capture on one end; tcpreplay sends a generated capture from the other end at each
#   rate for the given seconds, then at full speed. The capture is first rewritten into the
#   benchmarking range 198.18.0.0/15 and checked frame by frame. Without --capture one is made
#   with pcapgen (PCAPGEN=path, default ../shared/bench/bin/pcapgen or /tmp/bench/bin/pcapgen).
#   Needs root (CAP_NET_ADMIN), ip, tcpreplay and tcprewrite; darkstat is skipped when missing.
#   The namespaces, the veth pair and every program started are removed on every way out.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ombrix="" capture="" rates="50000 100000 200000 400000" seconds=5 packets=300000
while [ $# -gt 0 ]; do
    case $1 in
        --ombrix) ombrix=$2; shift 2 ;;
        --capture) capture=$2; shift 2 ;;
        --rates) rates=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --packets) packets=$2; shift 2 ;;
        *) sed -n '2,12p' "$0" >&2; exit 2 ;;
    esac
done
[ -x "$ombrix" ] || { echo "live.sh: --ombrix must name the built ombrix" >&2; exit 2; }
ombrix=$(readlink -f "$ombrix")
for tool in ip tcpreplay tcprewrite python3; do
    command -v "$tool" >/dev/null || { echo "live.sh: $tool not found (scripts/setup.sh)" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "live.sh: skipped, needs root for namespaces" >&2; exit 77; }

tag=obl$$
sender=${tag}s receiver=${tag}r
work=$(mktemp -d -t ombrix-live.XXXXXX)
pids=()

cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    ip netns del "$sender" 2>/dev/null || true
    ip netns del "$receiver" 2>/dev/null || true
    [ "${KEEP:-0}" = 1 ] && echo "work dir kept: $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the capture, rewritten into 198.18.0.0/15 and checked ---------------------------------------
if [ -z "$capture" ]; then
    gen=${PCAPGEN:-}
    for candidate in "$here/../../shared/bench/bin/pcapgen" /tmp/bench/bin/pcapgen; do
        [ -z "$gen" ] && [ -x "$candidate" ] && gen=$candidate
    done
    [ -n "$gen" ] || { echo "live.sh: no --capture and no pcapgen (set PCAPGEN)" >&2; exit 2; }
    "$gen" -o "$work/gen.pcap" -n "$packets" -m 5000 --summary "$work/gen.summary" 2>/dev/null
    capture=$work/gen.pcap
fi
tcprewrite --infile="$capture" --outfile="$work/send.pcap" \
    --pnat=192.168.1.0/24:198.18.1.0/24,0.0.0.0/0:198.19.0.0/16 --fixcsum \
    >"$work/tcprewrite.log" 2>&1 || { cat "$work/tcprewrite.log" >&2; exit 1; }
python3 - "$work/send.pcap" <<'EOF'
# Every frame's outer IPv4 addresses must lie in 198.18.0.0/15 (ICMP errors may quote others).
import struct, sys
data = open(sys.argv[1], "rb").read()
order = "<" if data[:4] in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1") else ">"
offset, frames, outside = 24, 0, 0
while offset + 16 <= len(data):
    caplen = struct.unpack_from(order + "I", data, offset + 8)[0]
    frame = data[offset + 16:offset + 16 + caplen]
    offset += 16 + caplen
    frames += 1
    if len(frame) >= 34 and frame[12:14] == b"\x08\x00":
        for address in (frame[26:30], frame[30:34]):
            if address[0] != 198 or address[1] not in (18, 19):
                outside += 1
if outside:
    sys.exit(f"live.sh: {outside} addresses outside 198.18.0.0/15 after the rewrite")
print(f"capture: {frames} frames, every outer IPv4 address in 198.18.0.0/15")
EOF
frames=$(python3 -c "import sys; d=open(sys.argv[1],'rb').read(); import struct
o=24; n=0
order='<' if d[:4] in (b'\xd4\xc3\xb2\xa1', b'\x4d\x3c\xb2\xa1') else '>'
while o+16<=len(d): o+=16+struct.unpack_from(order+'I',d,o+8)[0]; n+=1
print(n)" "$work/send.pcap")

# --- namespaces and the veth pair ------------------------------------------------------------------
ip netns add "$sender"
ip netns add "$receiver"
ip link add "${tag}a" netns "$sender" type veth peer name "${tag}b" netns "$receiver"
ip -n "$sender" link set "${tag}a" up
ip -n "$receiver" addr add 198.18.1.10/24 dev "${tag}b"
ip -n "$receiver" link set "${tag}b" up
ip -n "$receiver" link set lo up
ip -n "$sender" link set lo up

rss_of() { awk '/^VmHWM/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

# Sends the capture at one rate ("topspeed" for full speed) for the given seconds; leaves the
# packets tcpreplay sent in $work/sent and its rate in $work/pps.RATE. tcpreplay runs in the
# background so that a signal ends the benchmark at once rather than after the send.
send() {
    local rate=$1 args
    if [ "$rate" = topspeed ]; then
        args=(--topspeed --loop=3)
    else
        local loops=$(((rate * seconds + frames - 1) / frames))
        args=(--pps="$rate" --loop="$loops" --limit=$((rate * seconds)))
    fi
    ip netns exec "$sender" tcpreplay --intf1="${tag}a" --preload-pcap "${args[@]}" \
        "$work/send.pcap" >"$work/tcpreplay.$rate.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    if ! wait "$pid"; then
        echo "live.sh: tcpreplay failed:" >&2
        cat "$work/tcpreplay.$rate.log" >&2
        return 1
    fi
    awk '/Successful packets:/ {print $3}' "$work/tcpreplay.$rate.log" >"$work/sent"
    grep -o 'Rated: [0-9.]* Bps, [0-9.]* Mbps, [0-9.]* pps' "$work/tcpreplay.$rate.log" |
        awk '{print $6}' >"$work/pps.$rate"
}

# --- ombrix ----------------------------------------------------------------------------------------
run_ombrix() {
    local home=$work/ombrix-home
    mkdir -p "$home"
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
        ip netns exec "$receiver" "$ombrix" --headless --db "$work/ombrix.db" \
        >"$work/ombrix.log" 2>"$work/ombrix.err" &
    local pid=$!
    pids+=("$pid")
    local waited=0
    # Its status line, once a second, shows the veth end open.
    until grep -q '^-- [1-9][0-9]* adapters' "$work/ombrix.log" 2>/dev/null; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "live.sh: ombrix ended at start:" >&2
            cat "$work/ombrix.err" >&2
            return 1
        fi
        sleep 0.2
        waited=$((waited + 1))
        [ $waited -lt 100 ] || { echo "live.sh: ombrix opened no adapter" >&2; return 1; }
    done
    measure ombrix "$pid" ombrix_counts
    kill -INT "$pid"
    wait "$pid" || true
}

# "counted queue_drops pcap_drops" from the last status line: decoded packets less those the full
# queue dropped.
ombrix_counts() {
    grep '^-- ' "$work/ombrix.log" | tail -n 1 | sed -E \
        's/.*decoded ([0-9]+) packets.* ([0-9]+) dropped; libpcap dropped ([0-9]+).*/\1 \2 \3/' |
        awk '{print $1 - $2, $2, $3}'
}

# --- darkstat --------------------------------------------------------------------------------------
# A fresh darkstat for each rate: it reports libpcap's received and dropped counts as it ends.
run_darkstat() {
    command -v darkstat >/dev/null || { echo "darkstat: not installed, skipped"; return 0; }
    local lossless=0 peak=0 rate
    for rate in $rates topspeed; do
        ip netns exec "$receiver" darkstat -i "${tag}b" --no-daemon --no-dns --no-promisc \
            --verbose -b 127.0.0.1 -p 16668 --hosts-max 100000 >"$work/darkstat.log" 2>&1 &
        local pid=$!
        pids+=("$pid")
        local waited=0
        until grep -qs 'entering main loop' "$work/darkstat.log"; do
            if ! kill -0 "$pid" 2>/dev/null || [ $waited -ge 100 ]; then
                echo "live.sh: darkstat did not start:" >&2
                cat "$work/darkstat.log" >&2
                return 1
            fi
            sleep 0.1
            waited=$((waited + 1))
        done
        send "$rate"
        local sent
        sent=$(cat "$work/sent")
        sleep 1
        local hwm
        hwm=$(rss_of "$pid")
        [ "$hwm" -gt "$peak" ] && peak=$hwm
        kill -TERM "$pid"
        wait "$pid" || true
        read -r received dropped < <(sed -nE \
            's/.*pcap stats: ([0-9]+) packets received, ([0-9]+) packets dropped.*/\1 \2/p' \
            "$work/darkstat.log")
        local counted=$((received - dropped))
        report darkstat "$rate" "$sent" "$counted" 0 "$dropped"
        [ "$rate" != topspeed ] && [ "$counted" -ge "$sent" ] && [ "$dropped" -eq 0 ] && lossless=$rate
    done
    echo "darkstat lossless_pps $lossless"
    echo "darkstat peak_rss_kib $peak"
}

# NAME RATE SENT COUNTED QUEUE_DROPS PCAP_DROPS: one line, and the full-speed figures.
report() {
    local name=$1 rate=$2 sent=$3 counted=$4 queue=$5 pcap=$6
    echo "$name rate=$rate sent=$sent counted=$counted queue_drops=$queue pcap_drops=$pcap"
    [ "$rate" = topspeed ] || return 0
    local pps
    pps=$(cat "$work/pps.topspeed")
    echo "$name topspeed_sent_pps $pps"
    echo "$name topspeed_counted_pps $(python3 -c "print(round($pps * $counted / $sent) if $sent else 0)")"
}

# Sends each rate to the running ombrix and prints one line per rate, then its figures.
measure() {
    local name=$1 pid=$2 counts=$3 lossless=0 rate sent
    for rate in $rates topspeed; do
        sleep 1.5 # the status is printed once a second
        read -r b_count b_queue b_pcap <<<"$($counts)"
        send "$rate"
        sent=$(cat "$work/sent")
        sleep 2.5
        read -r a_count a_queue a_pcap <<<"$($counts)"
        local counted=$((a_count - b_count)) queue=$((a_queue - b_queue)) pcap=$((a_pcap - b_pcap))
        report "$name" "$rate" "$sent" "$counted" "$queue" "$pcap"
        if [ "$rate" != topspeed ] && [ "$counted" -ge "$sent" ] && [ "$queue" -eq 0 ] &&
            [ "$pcap" -eq 0 ]; then
            lossless=$rate
        fi
    done
    echo "$name lossless_pps $lossless"
    echo "$name peak_rss_kib $(rss_of "$pid")"
}

run_ombrix
run_darkstat
