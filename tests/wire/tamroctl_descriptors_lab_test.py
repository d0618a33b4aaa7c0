"""A search of 200 devices by a tamroctl held to 128 open descriptors (soft
and hard limit): every device is read and listed, none dropped for want of
a socket. Builds its own lab with the devices generated here.

Usage: tamroctl_descriptors_lab_test.py LAB_SCRIPT DEVSIM TAMROCTL
"""

import json
import os
import resource
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import lab_start_status, run_lab  # noqa: E402

DEVICES = [{"address": f"10.77.0.{host}", "mac": f"02-00-00-00-0d-{host:02x}"}
           for host in range(10, 210)]
LIMIT = 128


def limited():
    resource.setrlimit(resource.RLIMIT_NOFILE, (LIMIT, LIMIT))


def inside(tamroctl):
    started = time.monotonic()
    result = subprocess.run([tamroctl, "search", "--json"], capture_output=True, timeout=30,
                            check=False, stdin=subprocess.DEVNULL, preexec_fn=limited)
    elapsed = time.monotonic() - started
    failures = []
    if result.returncode != 0:
        failures.append(f"exit {result.returncode}: {result.stderr.decode()}")
    else:
        output = json.loads(result.stdout)
        listed = {device["mac"]: device for device in output["devices"]}
        unread = [mac for mac, device in listed.items() if not device["configured"]]
        if len(listed) != len(DEVICES) or unread or output["dropped"]:
            failures.append(f"{len(listed)} of {len(DEVICES)} listed, {len(unread)} unread, "
                            f"{len(output['dropped'])} dropped")
        wrong = [device["mac"] for device in DEVICES
                 if listed.get(device["mac"].upper(), {}).get("settings", {}).get("ipAddress")
                 != device["address"]]
        if wrong:
            failures.append(f"{len(wrong)} devices without their own settings, first {wrong[0]}")
    print(f"search of {len(DEVICES)} devices under {LIMIT} descriptors: {elapsed:.2f} s")
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        return inside(sys.argv[2])
    status = lab_start_status(__doc__, 3)
    if status is not None:
        return status
    with tempfile.TemporaryDirectory(prefix="tamroctl-descriptors-") as directory:
        path = os.path.join(directory, "devices.json")
        with open(path, "w", encoding="utf-8") as out:
            json.dump({"devices": DEVICES}, out)
        command = [sys.executable, os.path.abspath(__file__), "--inside", sys.argv[3]]
        result = subprocess.run(run_lab(sys.argv[1], sys.argv[2], path, command),
                                timeout=90, check=False)
        return result.returncode


if __name__ == "__main__":
    sys.exit(main())
