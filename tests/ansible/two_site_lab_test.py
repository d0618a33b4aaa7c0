"""The tamro.devices collection over SSH on two sites: a controller namespace
runs ansible-playbook against two site namespaces, each with its own
simulated segment (a scripts/lab.sh lab) and an sshd keyed by this test,
reached over a link of its own. The playbook's steps run one after the other:
info, settings in check mode with diff (nothing written), settings for real
(only the named keys change), again (nothing changed, nothing written), then
the address of the unit outside the subnet. Prints the run's time against
one site's tamroctl apply.

Usage (as root; builds and removes every namespace itself):
    two_site_lab_test.py LAB_SH DEVSIM TAMROCTL COLLECTIONS
TAMRO_ANSIBLE_COLLECTIONS, when set, replaces COLLECTIONS (an installed copy).
"""

import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lab"))
from tamro_lab import lab_start_status, read_state, read_trace  # noqa: E402

USAGE = "Usage" + __doc__.split("Usage")[1]
SITES = {"site_a": ("10.79.1", "02-00-00-01"), "site_b": ("10.79.2", "02-00-00-02")}
LAB_SECONDS = 240

# Block bytes a write may change: the headers and the fields the dialog
# writes (block 7's pins and variant come from the model).
NAMED = [
    set(range(0, 8)) | {10, 11} | set(range(16, 23)) | set(range(24, 34)) | {38, 39},
    set(range(0, 4)) | {120},
    set(range(0, 7)) | {129},
]


def outside(argv):
    """Two nested labs; this script again, inside both, with their files."""
    lab, devsim = argv[0], argv[1]
    work = tempfile.mkdtemp(prefix="tamro-ansible-")
    os.chmod(work, 0o755)

    def lab_args(site, timeout):
        return [lab, "--devsim", devsim, "--devices", os.path.join(HERE, site + "_devices.json"),
                "--trace", os.path.join(work, site + ".trace.jsonl"),
                "--state", os.path.join(work, site + ".state.json"), "--timeout", str(timeout)]

    inner = lab_args("site_b", LAB_SECONDS - 20) + [
        "--", sys.executable, os.path.abspath(__file__), "--inside", work] + argv
    # The outer lab's host namespace is site A's; the inner lab names its own.
    command = lab_args("site_a", LAB_SECONDS) + [
        "--", "bash", "-c", 'TAMRO_SITE_A_NS=$TAMRO_LAB_HOST_NS exec "$@"', "-"] + ["bash"] + inner
    try:
        return subprocess.run(command, check=False, timeout=LAB_SECONDS + 60).returncode
    finally:
        subprocess.run(["rm", "-rf", work], check=False)


def sh(*args, **kwargs):
    return subprocess.run(list(args), check=True, capture_output=True, text=True, timeout=30, **kwargs)


class Sites:
    """The controller namespace, its links to the sites and an sshd on each."""

    def __init__(self, work):
        self.work = work
        self.ctl = "tamro-c-%d" % os.getpid()
        self.ns = {"site_a": os.environ["TAMRO_SITE_A_NS"], "site_b": os.environ["TAMRO_LAB_HOST_NS"]}
        self.sshd = []

    def up(self):
        sh("ip", "netns", "add", self.ctl)
        sh("ip", "-n", self.ctl, "link", "set", "lo", "up")
        for index, (site, (net, _)) in enumerate(sorted(SITES.items())):
            ours = "site%d" % index
            # Both ends are born inside the lab's namespaces.
            sh("ip", "-n", self.ctl, "link", "add", ours, "type", "veth", "peer", "name", "uplink",
               "netns", self.ns[site])
            sh("ip", "-n", self.ctl, "addr", "add", net + ".1/24", "dev", ours)
            sh("ip", "-n", self.ns[site], "addr", "add", net + ".2/24", "dev", "uplink")
            sh("ip", "-n", self.ctl, "link", "set", ours, "up")
            sh("ip", "-n", self.ns[site], "link", "set", "uplink", "up")
        keys = os.path.join(self.work, "ssh")
        os.makedirs(keys)
        sh("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(keys, "host"))
        sh("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(keys, "client"))
        with open(os.path.join(keys, "client.pub"), encoding="utf-8") as public:
            with open(os.path.join(keys, "authorized_keys"), "w", encoding="utf-8") as allowed:
                allowed.write(public.read())
        # sshd insists on its privilege separation directory.
        os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
        for site, (net, _) in sorted(SITES.items()):
            config = os.path.join(keys, site + ".sshd_config")
            with open(config, "w", encoding="utf-8") as handle:
                handle.write("\n".join([
                    "ListenAddress %s.2" % net, "Port 22",
                    "HostKey " + os.path.join(keys, "host"),
                    "AuthorizedKeysFile " + os.path.join(keys, "authorized_keys"),
                    "PidFile " + os.path.join(keys, site + ".pid"),
                    "PermitRootLogin prohibit-password", "PasswordAuthentication no",
                    "KbdInteractiveAuthentication no", "UsePAM no", "StrictModes no",
                    "Subsystem sftp internal-sftp", ""]))
            self.sshd.append(subprocess.Popen(
                ["ip", "netns", "exec", self.ns[site], "/usr/sbin/sshd", "-D", "-e", "-f", config],
                stdout=subprocess.DEVNULL, stderr=open(os.path.join(keys, site + ".log"), "w")))
        deadline = time.monotonic() + 10
        for site, (net, _) in sorted(SITES.items()):
            while "%s.2:22" % net not in sh("ip", "netns", "exec", self.ns[site], "ss", "-ltn").stdout:
                if time.monotonic() > deadline:
                    raise AssertionError(site + ": sshd is not listening")
                time.sleep(0.1)

    def down(self):
        for process in self.sshd:
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        # ssh's connection masters live in the controller namespace.
        pids = subprocess.run(["ip", "netns", "pids", self.ctl], capture_output=True, text=True,
                              check=False).stdout.split()
        for pid in pids:
            subprocess.run(["kill", pid], check=False)
        subprocess.run(["ip", "netns", "del", self.ctl], check=False)


class Run:
    """ansible-playbook in the controller namespace, its results as JSON."""

    def __init__(self, sites, work, tamroctl, collections):
        self.sites = sites
        self.inventory = os.path.join(work, "inventory.ini")
        keys = os.path.join(work, "ssh")
        with open(self.inventory, "w", encoding="utf-8") as handle:
            handle.write("[sites]\n")
            for site, (net, prefix) in sorted(SITES.items()):
                handle.write("%s ansible_host=%s.2 device_prefix=%s\n" % (site, net, prefix))
            handle.write("\n[sites:vars]\nansible_user=root\nansible_python_interpreter=/usr/bin/python3\n"
                         "ansible_ssh_private_key_file=%s\ntamroctl=%s\n" % (
                             os.path.join(keys, "client"), tamroctl))
        home = os.path.join(work, "ansible")
        self.env = dict(os.environ, ANSIBLE_HOME=home, ANSIBLE_LOCAL_TEMP=os.path.join(home, "tmp"),
                        ANSIBLE_REMOTE_TEMP=os.path.join(work, "remote"),
                        ANSIBLE_COLLECTIONS_PATH=collections, ANSIBLE_HOST_KEY_CHECKING="False",
                        ANSIBLE_PIPELINING="True", ANSIBLE_STDOUT_CALLBACK="results_json",
                        ANSIBLE_CALLBACK_PLUGINS=os.path.join(HERE, "callback_plugins"),
                        ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="False",
                        ANSIBLE_SSH_ARGS="-o UserKnownHostsFile=/dev/null -o ControlMaster=auto "
                                         "-o ControlPersist=60s -o ControlPath=%s/cp-%%h" % home)
        os.makedirs(home, exist_ok=True)
        self.seconds = []

    def __call__(self, *args):
        started = time.monotonic()
        done = subprocess.run(["ip", "netns", "exec", self.sites.ctl, "ansible-playbook", "-i",
                               self.inventory, os.path.join(HERE, "two_sites.yml"), *args],
                              capture_output=True, text=True, env=self.env, timeout=120, check=False)
        self.seconds.append(time.monotonic() - started)
        try:
            report = json.loads(done.stdout)
        except ValueError:
            raise AssertionError("ansible-playbook %s: rc=%d\n%s\n%s" % (
                " ".join(args), done.returncode, done.stdout[-3000:], done.stderr[-3000:]))
        if done.returncode != 0:
            failures = ["%s: %s: %s %s" % (task["task"]["name"], host, outcome.get("msg"),
                                            outcome.get("problems", ""))
                        for play in report["plays"] for task in play["tasks"]
                        for host, outcome in task["hosts"].items() if outcome.get("failed")]
            raise AssertionError("ansible-playbook %s failed (rc=%d):\n%s" % (
                " ".join(args), done.returncode, "\n".join(failures)))
        return report


def results(report, task):
    """{host: result} of the task named `task`."""
    for play in report["plays"]:
        for item in play["tasks"]:
            if item["task"]["name"] == task:
                return item["hosts"]
    raise AssertionError("no task " + task)


def sent(work, site, since=0):
    """The writes and assignments the site's simulator received after line `since`."""
    lines = read_trace(os.path.join(work, site + ".trace.jsonl"))[since:]
    return [line for line in lines if line.get("dir") == "rx"
            and str(line.get("what", "")).startswith(("write", "assignment"))]


def trace_length(work, site):
    return len(read_trace(os.path.join(work, site + ".trace.jsonl")))


def state(work, site):
    return read_state(os.path.join(work, site + ".state.json"))


def blocks(device):
    return [bytes.fromhex(device[key]) for key in ("block0", "block3", "block7")]


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def inside(work, argv):
    lab, devsim, tamroctl, collections = argv
    collections = os.environ.get("TAMRO_ANSIBLE_COLLECTIONS") or collections
    sites = Sites(work)
    try:
        sites.up()
        play = Run(sites, work, os.path.abspath(tamroctl), os.path.abspath(collections))
        before = dict((site, state(work, site)) for site in SITES)

        report = play("--tags", "info")
        for site, (_, prefix) in SITES.items():
            macs = [device["mac"] for device in results(report, "What answers on the site")[site]["devices"]]
            check(prefix + "-00-20" in macs, "%s: info lists %s" % (site, macs))

        marks = dict((site, trace_length(work, site)) for site in SITES)
        report = play("--tags", "settings", "--check", "--diff")
        for site, (_, prefix) in SITES.items():
            check(not sent(work, site, marks[site]), site + ": check mode wrote")
            serial = results(report, "Serial settings on the two line units, the second at an "
                                     "address of its own")[site]
            check(serial["changed"], site + ": check mode saw no change")
            want_before = {prefix + "-00-10": {"baud": 38400, "flow": "none"},
                           prefix + "-00-11": {"baud": 9600, "flow": "xon-xoff", "ip": "10.77.0.11"}}
            check(serial["diff"]["before"] == want_before, "%s: diff before %s" % (site, serial["diff"]))
            check(serial["diff"]["after"][prefix + "-00-11"] ==
                  {"baud": 115200, "flow": "cts-rts", "ip": "10.77.0.21"}, "%s: diff after" % site)
            spare = results(report, "Keep-alive on the spare unit")[site]
            check(spare["changed"] and spare["diff"]["before"] == {"keepAlive": 0}
                  and spare["diff"]["after"] == {"keepAlive": 30}, "%s: spare diff %s" % (site, spare))

        marks = dict((site, trace_length(work, site)) for site in SITES)
        report = play("--tags", "settings")
        for site, (_, prefix) in SITES.items():
            written = set(line.get("device") for line in sent(work, site, marks[site]))
            check(written == {prefix + "-00-10", prefix + "-00-11", prefix + "-00-12"},
                  "%s: written %s" % (site, written))
            now = state(work, site)
            for suffix in ("-00-10", "-00-11", "-00-12"):
                mac = prefix + suffix
                for number, (old, new) in enumerate(zip(blocks(before[site][mac]), blocks(now[mac]))):
                    stray = [i for i in range(len(old)) if old[i] != new[i] and i not in NAMED[number]]
                    check(not stray, "%s %s: block %d bytes %s changed" % (site, mac, number, stray))
            check(now[prefix + "-00-11"]["address"] == "10.77.0.21", site + ": -00-11 not moved")
            rows = results(report, "Serial settings on the two line units, the second at an "
                                   "address of its own")[site]["devices"]
            check([row.get("verify") for row in rows] == ["verified", "verified"], "%s: %s" % (site, rows))
            read = rows[0]["device"]["settings"]
            check(read["baudRate"] == 115200 and read["dataBits"] == 7 and read["localPort"] == 10100,
                  "%s: read back %s" % (site, read))

        marks = dict((site, trace_length(work, site)) for site in SITES)
        report = play("--tags", "settings", "--diff")
        for site in SITES:
            check(report["stats"][site]["changed"] == 0, "%s: again: %s" % (site, report["stats"][site]))
            check(not sent(work, site, marks[site]), site + ": again: written")

        report = play("--tags", "address")
        for site, (_, prefix) in SITES.items():
            joined = results(report, "The fresh unit joins the segment")[site]
            check(joined["changed"] and joined["before"] == "172.16.5.20", "%s: %s" % (site, joined))
            check(len(sent(work, site)) and state(work, site)[prefix + "-00-20"]["address"] == "10.77.0.40",
                  site + ": not assigned")
        report = play("--tags", "address")
        check(all(report["stats"][site]["changed"] == 0 for site in SITES), "address again changed")

        # One site's apply alone, for scale: the same kind of batch, by hand.
        settings = os.path.join(work, "apply.json")
        with open(settings, "w", encoding="utf-8") as handle:
            json.dump({"format": "tamro-settings/1", "settings": {"baud": 57600}}, handle)
        started = time.monotonic()
        done = subprocess.run(["ip", "netns", "exec", sites.ns["site_a"], tamroctl, "apply", settings,
                               "02-00-00-01-00-10", "02-00-00-01-00-11", "--yes", "--verify=10", "--json"],
                              capture_output=True, text=True, timeout=60, check=False)
        apply_seconds = time.monotonic() - started
        check(done.returncode == 0, "apply: " + done.stderr)
        names = ["info", "check+diff", "settings", "again", "address", "address again"]
        print("playbook on 2 sites: " + ", ".join(
            "%s %.1f s" % (name, seconds) for name, seconds in zip(names, play.seconds)))
        print("whole run %.1f s; one site's tamroctl apply of 2 devices with --verify: %.1f s" % (
            sum(play.seconds), apply_seconds))
        return 0
    finally:
        sites.down()


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "--inside":
        try:
            return inside(sys.argv[2], sys.argv[3:])
        except AssertionError as error:
            print("FAIL: %s" % error, file=sys.stderr)
            return 1
    status = lab_start_status(USAGE, 4)
    if status is not None:
        return status
    return outside(sys.argv[1:])


if __name__ == "__main__":
    sys.exit(main())
