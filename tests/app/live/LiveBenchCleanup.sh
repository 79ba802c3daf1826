#!/usr/bin/env bash
# The live benchmark removes its namespaces, its veth pair and the programs it started on every
# way out: a capturing program that fails at start, and a run ended by a signal.
# usage: LiveBenchCleanup.sh PATH/bench/live.sh
set -u
script=$1
[ "$(id -u)" -eq 0 ] || { echo "skipped: network namespaces need CAP_NET_ADMIN"; exit 77; }
for tool in ip tcpreplay tcprewrite python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d -t live-cleanup.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A few UDP frames between the addresses the benchmark rewrites.
python3 - "$work/small.pcap" <<'PY'
import struct, sys
with open(sys.argv[1], "wb") as out:
    out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
    for i in range(20):
        udp = struct.pack(">HHHH", 5000, 53, 8 + 4, 0) + b"test"
        ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), i, 0, 64, 17, 0,
                         bytes([192, 168, 1, 10]), bytes([203, 0, 113, 5])) + udp
        frame = b"\x02" * 6 + b"\x04" * 6 + b"\x08\x00" + ip
        out.write(struct.pack("<IIII", 1714932000 + i, 0, len(frame), len(frame)) + frame)
PY

status=0
fail() { echo "FAIL $*"; status=1; }
# $1: what was run; $2: the benchmark's process id, which names its namespaces and links.
expect_clean() {
    ip netns list | grep -q "^obl$2" && fail "$1: namespace obl$2* left behind"
    ip -o link | grep -q "obl$2" && fail "$1: link obl$2* left behind"
    [ -s "$work/child.pid" ] && kill -0 "$(cat "$work/child.pid")" 2>/dev/null &&
        fail "$1: the capturing program still runs"
    echo "checked $1"
}

# 1. The capturing program fails at start: the benchmark fails and says so.
printf '#!/bin/sh\necho "cannot start" >&2\nexit 3\n' >"$work/failing"
chmod +x "$work/failing"
bash "$script" --ombrix "$work/failing" --capture "$work/small.pcap" --rates 1000 --seconds 1 \
    >"$work/failing.out" 2>&1 &
pid=$!
wait $pid
code=$?
[ $code -ne 0 ] && grep -q "cannot start" "$work/failing.out" ||
    { fail "failing program: exit $code"; cat "$work/failing.out"; }
expect_clean "a program that fails at start" $pid

# 2. Ended by a signal while the capturing program runs and tcpreplay sends.
cat >"$work/running" <<STANDIN
#!/bin/sh
echo \$\$ >"$work/child.pid"
echo "-- 1 adapters: decoded 0 packets, 0 bytes; queue 0 waiting, 0 dropped; libpcap dropped 0"
exec sleep 600
STANDIN
chmod +x "$work/running"
bash "$script" --ombrix "$work/running" --capture "$work/small.pcap" --rates 10 --seconds 30 \
    >"$work/running.out" 2>&1 &
pid=$!
for _ in $(seq 100); do
    [ -s "$work/child.pid" ] && ip netns list | grep -q "^obl$pid" && break
    sleep 0.1
done
[ -s "$work/child.pid" ] || { fail "the stand-in never started"; cat "$work/running.out"; }
sleep 2 # into the first rate
kill -TERM $pid
start=$SECONDS
wait $pid
# The send in progress would go on for most of its 30 s; the signal must not wait for it.
[ $((SECONDS - start)) -lt 15 ] || fail "the signal waited for the send to end"
expect_clean "a run ended by a signal" $pid
exit $status
