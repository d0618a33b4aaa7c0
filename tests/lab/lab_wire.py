"""Small helpers shared by the lab tests: sockets on the host side of the lab,
the simulator's filler pattern, and the trace."""

import json
import os
import select
import socket
import time

PORT = 30718
ADAPTER = "10.77.0.1"
QUERY = bytes.fromhex("000000f6")
SO_RCVBUFFORCE = getattr(socket, "SO_RCVBUFFORCE", 33)


def mac_bytes(text):
    return bytes(int(part, 16) for part in text.replace(":", "-").split("-"))


def filler(mac, part, offset):
    """Byte `offset` of part 0, 1, 2 (blocks 0, 3, 7) or 3 (discovery reply)."""
    return (mac_bytes(mac)[5] + 0x40 * part + offset) & 0xFF


def filled(mac, part, length):
    return bytearray(filler(mac, part, i) for i in range(length))


def discovery_reply(mac, type_code="X1"):
    reply = filled(mac, 3, 30)
    reply[0:4] = b"\x00\x00\x00\xf7"
    reply[8:10] = type_code.encode("ascii")
    reply[24:30] = mac_bytes(mac)
    return bytes(reply)


def ipv4(text):
    return socket.inet_aton(text)


def udp_socket(bind=None, broadcast=False, big_buffer=False):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if broadcast:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    if big_buffer:
        sock.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, 4 << 20)
    if bind is not None:
        sock.bind(bind)
    return sock


def collect(sockets, seconds, quiet=None, until=None):
    """Every datagram arriving on `sockets` for at most `seconds`, as
    (monotonic time, socket index, (address, port), bytes). With `quiet`, it
    also stops once that long passed without a datagram; with `until`, once
    until(received) is true."""
    received = []
    deadline = time.monotonic() + seconds
    last = time.monotonic()
    while True:
        now = time.monotonic()
        stop_at = deadline if quiet is None else min(deadline, last + quiet)
        if now >= stop_at or (until is not None and until(received)):
            return received
        readable, _, _ = select.select(sockets, [], [], stop_at - now)
        for sock in readable:
            data, sender = sock.recvfrom(4096)
            last = time.monotonic()
            received.append((last, sockets.index(sock), sender, data))


def exchange(address, request, seconds=0.6, quiet=0.08, sock=None, count=None):
    """Sends one request from a fresh socket and returns every (sender, bytes)
    that came back until `quiet` passed without one (or `count` arrived)."""
    own = sock is None
    sock = sock or udp_socket()
    until = None if count is None else (lambda received: len(received) >= count)
    try:
        sock.sendto(request, (address, PORT))
        return [(sender, data)
                for _, _, sender, data in collect([sock], seconds, quiet=quiet, until=until)]
    finally:
        if own:
            sock.close()


def read_trace(path):
    lines = []
    with open(path, encoding="utf-8") as trace:
        for line in trace:
            if line.endswith("\n"):
                lines.append(json.loads(line))
    return lines


def wait_for_trace(path, predicate, seconds=1.0):
    """The trace lines once one of them satisfies `predicate` (or after `seconds`)."""
    deadline = time.monotonic() + seconds
    while True:
        lines = read_trace(path)
        if any(predicate(line) for line in lines) or time.monotonic() >= deadline:
            return lines
        time.sleep(0.02)


def read_state(path):
    with open(path, encoding="utf-8") as state:
        return {device["mac"]: device for device in json.load(state)["devices"]}


def run_lab(lab, devsim, devices, command, trace=None, state=None, timeout=60, env=None):
    """The argument list that runs `command` in a lab with these devices."""
    args = [lab, "--devsim", devsim, "--devices", devices, "--timeout", str(timeout)]
    if trace:
        args += ["--trace", trace]
    if state:
        args += ["--state", state]
    return args + ["--"] + command


def netns_names():
    return set(line.split()[0] for line in os.popen("ip netns list").read().splitlines() if line)
