"""Recorded tamroctl output, and a stand-in for AnsibleModule that runs a
scripted tamroctl instead of the real one."""

import json
import os

import pytest

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")


def recorded(name):
    with open(os.path.join(FIXTURES, name), encoding="utf-8") as handle:
        return handle.read()


class Failed(Exception):
    def __init__(self, result):
        Exception.__init__(self, result.get("msg"))
        self.result = result


class FakeModule:
    """What the modules use of AnsibleModule; `replies` maps the tamroctl
    subcommand (and, for export, the MAC) to (rc, stdout, stderr)."""

    def __init__(self, params, replies, tmpdir, check_mode=False):
        self.params = params
        self.replies = replies
        self.tmpdir = str(tmpdir)
        self.check_mode = check_mode
        self.calls = []

    def get_bin_path(self, name, required=False):
        return "/usr/bin/" + name

    def run_command(self, args, check_rc=False):
        self.calls.append(list(args))
        command = args[1]
        if args[2:3] == ["--help"]:
            return 0, self.replies.get(("help", command), ""), ""
        key = (command, args[2]) if (command, args[2]) in self.replies else command
        reply = self.replies[key]
        return reply(args) if callable(reply) else reply

    def fail_json(self, **result):
        raise Failed(result)

    def commands(self, name):
        return [call for call in self.calls if call[1] == name and "--help" not in call]


@pytest.fixture
def fake(tmp_path):
    def make(params, replies, check_mode=False):
        return FakeModule(params, replies, tmp_path, check_mode)
    return make


def settings_file_of(args):
    """The settings file an apply call was given, parsed."""
    with open(args[2], encoding="utf-8") as handle:
        return json.load(handle)
