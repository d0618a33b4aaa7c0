"""256 simulated devices answering one discovery at once, and a block read
from each device on the subnet, measured from the host side of the lab.

Usage: devsim_scale_test.py LAB_SCRIPT DEVSIM
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamro_lab import (  # noqa: E402
    ADAPTER, PORT, QUERY, collect, discovery_reply, exchange, lab_start_status, read_trace,
    run_lab, udp_socket)

ON_SUBNET = [f"10.77.0.{host}" for host in range(10, 210)]
OFF_SUBNET = [f"172.16.9.{host}" for host in range(1, 57)]


def devices():
    result = []
    for number, address in enumerate(ON_SUBNET + OFF_SUBNET):
        mac = f"02-00-00-00-{number >> 8:02X}-{number & 0xFF:02X}"
        result.append({"address": address, "mac": mac})
    return result


def inside():
    failures = []
    expected = {(device["address"], PORT): discovery_reply(device["mac"]) for device in devices()}

    query = udp_socket((ADAPTER, PORT), broadcast=True, big_buffer=True)
    try:
        sent_at = time.monotonic()
        query.sendto(QUERY, ("255.255.255.255", PORT))
        received = collect([query], 2.0, until=lambda got: len(got) >= len(expected))
        received += collect([query], 0.1)
    finally:
        query.close()
    replies = {}
    for _, _, sender, data in received:
        replies.setdefault(sender, []).append(data)
    if {sender: [data] for sender, data in expected.items()} != replies:
        missing = len(set(expected) - set(replies))
        failures.append(f"discovery: {len(replies)} senders, {missing} devices missing")
    if received:
        first, last = received[0][0] - sent_at, received[-1][0] - sent_at
        print(f"discovery: {len(received)} replies, first after {first * 1000:.1f} ms, "
              f"last after {last * 1000:.1f} ms, spread {(last - first) * 1000:.1f} ms")
        if last - first >= 0.1:
            failures.append("discovery replies spread over 100 ms or more")

    times = []
    sock = udp_socket()
    try:
        for address in ON_SUBNET:
            started = time.monotonic()
            answer = exchange(address, b"\0\0\0\xe0", seconds=0.5, sock=sock, count=1)
            times.append(time.monotonic() - started)
            if [len(data) for _, data in answer] != [124]:
                failures.append(f"block 0 of {address}: {answer!r}")
    finally:
        sock.close()
    print(f"block 0 read from {len(times)} devices: median {statistics.median(times) * 1000:.2f} ms, "
          f"max {max(times) * 1000:.2f} ms")
    if statistics.median(times) >= 0.005:
        failures.append("a block read takes 5 ms or more")

    failed_sends = [line for line in read_trace(os.environ["TAMRO_LAB_TRACE"])
                    if line.get("event") == "send failed"]
    if failed_sends:
        failures.append(f"{len(failed_sends)} sends failed, first: {failed_sends[0]}")
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "--inside":
        return inside()
    status = lab_start_status(__doc__, 2)
    if status is not None:
        return status
    with tempfile.TemporaryDirectory(prefix="devsim-scale-") as directory:
        path = os.path.join(directory, "devices.json")
        with open(path, "w", encoding="utf-8") as out:
            json.dump({"devices": devices()}, out)
        started = time.monotonic()
        result = subprocess.run(run_lab(sys.argv[1], sys.argv[2], path,
                                        [sys.executable, os.path.abspath(__file__), "--inside"]),
                                timeout=90, check=False)
        print(f"lab run with {len(devices())} devices took {time.monotonic() - started:.2f} s")
        return result.returncode


if __name__ == "__main__":
    sys.exit(main())
