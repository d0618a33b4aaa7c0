# -*- coding: utf-8 -*-
# Shared by the tamro.devices modules: running tamroctl and deciding, from
# its JSON, what a task would change. Nothing here speaks the device protocol.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re
import subprocess

SETTING_KEYS = (
    "dhcp", "protocol", "connect", "ip", "mask", "gateway", "remoteIp", "port",
    "remotePort", "keepAlive", "baud", "dataBits", "parity", "stopBits", "flow", "pack",
)
ADDRESS_KEYS = ("ip", "mask", "gateway")


class TamroctlError(Exception):
    """tamroctl ended with a failure; `reason` is what it said."""

    def __init__(self, message, reason="", rc=None, result=None):
        Exception.__init__(self, message)
        self.reason = reason
        self.rc = rc
        self.result = result


def normalize(key, value):
    """A value as compared: the settings file allows "on"/"off" for dhcp,
    numbers as text, and a pack given as a number or "off"."""
    if value is None:
        return None
    if key == "dhcp":
        if isinstance(value, str):
            lowered = value.strip().lower()
            if lowered in ("on", "true", "yes"):
                return True
            if lowered in ("off", "false", "no"):
                return False
        return bool(value)
    if isinstance(value, bool):
        return value
    if isinstance(value, (int, float)):
        return int(value)
    text = str(value).strip()
    if text.isdigit():
        return int(text)
    return text.lower() if key in ("protocol", "connect", "parity", "flow", "pack") else text


def plan_changes(current, wanted):
    """The keys of `wanted` whose value differs from `current` (the
    device's exported settings), as {key: {"before": ..., "after": ...}}.
    A key the device does not export (its control is switched off) counts as
    a change: tamroctl then decides whether the write is refused."""
    changes = {}
    for key in sorted(wanted):
        after = wanted[key]
        before = current.get(key)
        if key not in current or normalize(key, before) != normalize(key, after):
            changes[key] = {"before": before, "after": after}
    return changes


def diff_of(changes, header=None):
    """Ansible's diff of the changed keys only."""
    before = dict((key, change["before"]) for key, change in changes.items())
    after = dict((key, change["after"]) for key, change in changes.items())
    diff = {"before": before, "after": after}
    if header:
        diff["before_header"] = header
        diff["after_header"] = header
    return diff


def canonical_mac(text):
    return str(text).strip().replace(":", "-").upper()


def clean_settings(settings):
    """The settings dict without the keys Ansible fills with None."""
    return dict((key, value) for key, value in (settings or {}).items() if value is not None)


def unknown_keys(settings):
    return sorted(key for key in settings if key not in SETTING_KEYS)


def group_entries(entries):
    """Entries that can share one apply: the same model and the same settings
    once each device's own address is taken out (it goes to the address map).
    Returns a list of (model, settings, [entry...]) in the entries' order."""
    groups = []
    index = {}
    for entry in entries:
        settings = entry["settings"]
        if "ip" in settings:
            shared = dict((k, v) for k, v in settings.items() if k not in ADDRESS_KEYS)
        else:
            shared = dict(settings)
        key = (entry.get("model") or "", json.dumps(shared, sort_keys=True))
        if key not in index:
            index[key] = len(groups)
            groups.append((entry.get("model"), shared, []))
        groups[index[key]][2].append(entry)
    return groups


def address_map(entries):
    """The --addresses CSV for the entries that name an ip, None when none do."""
    rows = []
    for entry in entries:
        settings = entry["settings"]
        if "ip" not in settings:
            continue
        rows.append(",".join([
            entry["mac"], str(settings["ip"]),
            str(settings.get("mask") or ""), str(settings.get("gateway") or "")]))
    if not rows:
        return None
    return "mac,ip,mask,gateway\n" + "\n".join(rows) + "\n"


def settings_document(settings, model=None):
    return {"format": "tamro-settings/1", "mac": None, "model": model, "settings": settings}


def parse_json(text):
    try:
        return json.loads(text)
    except ValueError:
        return None


def last_line(text):
    lines = [line for line in (text or "").splitlines() if line.strip()]
    return lines[-1] if lines else ""


def what_went_wrong(rc, out, err):
    """tamroctl's own words for a failure: stderr without its progress lines,
    else the exit status (a signal shows as a negative one)."""
    lines = [line for line in (err or "").splitlines()
             if line.strip() and not line.startswith(("searching ", "writing "))]
    if lines:
        return " ".join(lines)
    return "tamroctl exited with status %d%s" % (rc, ": " + out.strip()[:200] if (out or "").strip() else "")


def run_process(args, check_rc=False):
    """(rc, stdout, stderr) of a finished program, its output read to the end.
    AnsibleModule.run_command stops reading when a select times out just as
    the program exits, which loses the JSON of a search (a quiet second, then
    everything at once); and no terminal, so nothing is ever asked."""
    done = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=False)
    return (done.returncode, done.stdout.decode("utf-8", "replace"),
            done.stderr.decode("utf-8", "replace"))


class Tamroctl:
    """Runs tamroctl (through `run_command`, for tests: any callable with
    run_process's signature)."""

    def __init__(self, module, path=None, run_command=None):
        self.module = module
        self.path = path or "tamroctl"
        self.run_command = run_command or run_process
        self._help = {}

    def resolve(self):
        if "/" not in self.path:
            found = self.module.get_bin_path(self.path, required=False)
            if not found:
                raise TamroctlError("tamroctl was not found on PATH; give its path in the tamroctl option",
                                    reason="not found")
            self.path = found
        return self.path

    def run(self, args):
        rc, out, err = self.run_command([self.path] + list(args), check_rc=False)
        return rc, out, err

    def run_json(self, args):
        """rc and the JSON object tamroctl printed (None when it printed none)."""
        rc, out, err = self.run(list(args) + ["--json"])
        return rc, parse_json(out), err

    def has_option(self, command, option):
        """Whether `tamroctl COMMAND --help` lists `option`: newer tamroctl
        versions plan with apply --check and name adapters auto/all."""
        if command not in self._help:
            rc, out, err = self.run([command, "--help"])
            self._help[command] = out if rc == 0 else ""
        return re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(option), self._help[command]) is not None

    def adapter_args(self, command, adapter):
        if not adapter:
            return []
        if adapter in ("auto", "all") and not self.has_option(command, adapter):
            # An older tamroctl searches its first usable adapter.
            return []
        return ["--adapter", adapter]

    def search(self, adapter=None, models=None):
        args = ["search"] + self.adapter_args("search", adapter)
        rc, out, err = self.run(args + ["--json"])
        data = parse_json(out)
        if rc != 0 or not isinstance(data, dict) or "error" in data:
            reason = data.get("error") if isinstance(data, dict) and data.get("error") else \
                what_went_wrong(rc, out, err)
            raise TamroctlError("the search failed: %s" % reason, reason=reason, rc=rc)
        return data

    def export(self, mac, adapter=None, models=None, model=None):
        args = ["export", mac] + self.adapter_args("export", adapter)
        if models:
            args += ["--models", models]
        if model:
            args += ["--model", model]
        rc, out, err = self.run(args)
        data = parse_json(out)
        if rc != 0 or not isinstance(data, dict) or "settings" not in data:
            reason = what_went_wrong(rc, out, err)
            raise TamroctlError("%s: cannot read its settings: %s" % (mac, reason), reason=reason, rc=rc)
        return data


def device_plan(entry, changes):
    return {"mac": entry["mac"], "changed": bool(changes), "changes": changes}


def plan_from_check(entries, checked):
    """Per-entry plans from `apply --check --json`, whose devices carry
    `changes` by the settings file's keys already."""
    rows = dict((canonical_mac(row.get("mac")), row) for row in checked.get("devices", []))
    plans = []
    for entry in entries:
        row = rows.get(entry["mac"])
        if row is None:
            raise TamroctlError("%s: not in the plan tamroctl made" % entry["mac"], reason="missing")
        plan = device_plan(entry, dict(row.get("changes") or {}))
        plan["changed"] = bool(row.get("changed", plan["changed"]))
        if row.get("ip"):
            plan["ip"] = row["ip"]
        plans.append(plan)
    return plans


def apply_failures(result):
    """What went wrong in an `apply --json` result: the refusal's problems,
    or one line per device not written (or, verified, not read back)."""
    if not isinstance(result, dict):
        return ["tamroctl printed no result"]
    if result.get("refused"):
        return list(result.get("problems") or ["the batch was refused"])
    if "error" in result:
        return [str(result["error"])]
    failures = []
    for row in result.get("devices", []):
        name = "%s / %s" % (row.get("mac"), row.get("ip"))
        if row.get("result") not in ("written", "unchanged"):
            failures.append("%s: %s%s" % (name, row.get("result"),
                                          ": " + row["message"] if row.get("message") else ""))
        elif row.get("verify") not in (None, "verified"):
            detail = ", ".join(row.get("differing") or []) or row.get("message") or ""
            failures.append("%s: %s%s" % (name, row.get("verify"), ": " + detail if detail else ""))
    return failures


def search_rows(search):
    return dict((canonical_mac(row.get("mac")), row) for row in search.get("devices", []))
