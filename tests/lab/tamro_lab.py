"""Helpers shared by the tests that run the programs and the simulator:
running a program under test, sockets on the host side of the lab, the
simulator's filler pattern, its trace and its state file.

A test elsewhere in tests/ imports it with
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
"""

import json
import os
import select
import shlex
import socket
import subprocess
import sys
import time

# Runs the program under test, when it needs one (the Windows build: Wine).
RUNNER = shlex.split(os.environ.get("TAMRO_PROGRAM_RUNNER", ""))

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


def lab_start_status(usage, argument_count):
    """For a test that builds its own labs: 2 (with the usage) when it was not
    given `argument_count` arguments, 77 (a skip) without root, else None."""
    if len(sys.argv) != argument_count + 1:
        print(usage, file=sys.stderr)
        return 2
    if os.geteuid() != 0:
        print("the lab needs root; skipped", file=sys.stderr)
        return 77
    return None


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


class Program:
    """A program under test, called as program(*args): its output captured,
    no terminal on stdin (so a confirmation is never asked for), and under
    RUNNER unless runner=[] says it is a Linux program. `path` may be set
    after the arguments are read; program=... runs a copy instead."""

    def __init__(self, path="", *, timeout=60, text=False, env=None, runner=None):
        self.path = path
        self.timeout = timeout
        self.text = text
        self.env = env
        self.runner = RUNNER if runner is None else runner

    def __call__(self, *args, program=None, timeout=None):
        return subprocess.run([*self.runner, program or self.path, *args], capture_output=True,
                              timeout=timeout or self.timeout, check=False,
                              stdin=subprocess.DEVNULL, text=self.text, env=self.env)


def text(stream):
    return stream.decode("utf-8")


# --- inside the lab: the simulator's trace and state files, named by scripts/lab.sh

def trace():
    return read_trace(os.environ["TAMRO_LAB_TRACE"])


def received(what, lines=None):
    """The datagrams the simulator received whose meaning starts with `what`
    ("write", "assignment", "discovery"), among `lines` or the whole trace."""
    return [line for line in (trace() if lines is None else lines)
            if line.get("dir") == "rx" and str(line.get("what", "")).startswith(what)]


def writes_to(mac=None, *, address=None, lines=None):
    """The blocks written to one device, as bytes: named by its MAC, or by its
    address where two devices carry one MAC."""
    return [bytes.fromhex(line["hex"]) for line in received("write ", lines)
            if (mac is None or line.get("device") == mac)
            and (address is None or line.get("to") == f"{address}:{PORT}")]


def lab_devices():
    """The simulator's devices as its state file lists them."""
    with open(os.environ["TAMRO_LAB_STATE"], encoding="utf-8") as state:
        return json.load(state)["devices"]


def device_state(mac):
    """The first device carrying `mac`, None when there is none."""
    return next((device for device in lab_devices() if device["mac"] == mac), None)


def blocks(device):
    return [bytes.fromhex(device[key]) for key in ("block0", "block3", "block7")]


def wait_until_up(mac, address=None, seconds=5):
    """Returns once the device is up (at `address`, when given)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        device = device_state(mac)
        if device and device["state"] == "up" and address in (None, device["address"]):
            return
        time.sleep(0.05)
    raise AssertionError(f"{mac} did not come back" + (f" at {address}" if address else ""))


def settle(address):
    """Returns once the simulator has traced everything sent to it so far: a
    read of our own, sent after it all to the device at `address`, has been
    answered and traced."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.bind((ADAPTER, 0))
        sock.settimeout(2)
        sock.sendto(bytes.fromhex("000000e0"), (address, PORT))
        sock.recvfrom(4096)
        mine = f"{ADAPTER}:{sock.getsockname()[1]}"
    deadline = time.monotonic() + 2
    while not any(line.get("from") == mine for line in trace()):
        if time.monotonic() > deadline:
            raise AssertionError("the simulator did not trace our read")
        time.sleep(0.02)
