"""The modules run whole, as Ansible runs them: arguments through their
argument definitions, tamroctl scripted, the result as the JSON they print."""

import json

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes

from ansible_collections.tamro.devices.plugins.module_utils import tamroctl as tamroctl_utils
from ansible_collections.tamro.devices.plugins.modules import address, info, settings
from conftest import recorded

SEARCH = (0, recorded("search.json"), "")
MOVED = (0, recorded("search_after.json"), "")


def run_module(module, monkeypatch, capsys, args, replies, check=False, diff=False):
    """The module's printed result, and the tamroctl command lines it ran."""
    args = dict(args, _ansible_check_mode=check, _ansible_diff=diff)
    monkeypatch.setattr(basic, "_ANSIBLE_ARGS", to_bytes(json.dumps({"ANSIBLE_MODULE_ARGS": args})))
    calls = []

    def run_command(command, check_rc=False):
        calls.append(command)
        if command[2:3] == ["--help"]:
            return replies.get("help", (0, "", ""))
        key = (command[1], command[2]) if (command[1], command[2]) in replies else command[1]
        return replies[key]

    monkeypatch.setattr(tamroctl_utils, "run_process", run_command)
    monkeypatch.setattr(basic.AnsibleModule, "get_bin_path", lambda self, name, *a, **k: "/usr/bin/" + name)
    with pytest.raises(SystemExit):
        module.main()
    result = json.loads(capsys.readouterr().out)
    return result, [call for call in calls if "--help" not in call]


class TestAddressModule:
    def test_already_there_is_ok_and_sends_nothing(self, monkeypatch, capsys):
        result, calls = run_module(address, monkeypatch, capsys,
                                   {"mac": "02:00:00:01:00:20", "address": "10.77.0.40"}, {"search": MOVED})
        assert result["changed"] is False and result["before"] == "10.77.0.40"
        assert [call[1] for call in calls] == ["search"]

    def test_check_mode_reports_the_assignment_with_its_diff(self, monkeypatch, capsys):
        result, calls = run_module(address, monkeypatch, capsys,
                                   {"mac": "02-00-00-01-00-20", "address": "10.77.0.40"}, {"search": SEARCH},
                                   check=True, diff=True)
        assert result["changed"] is True
        assert result["diff"]["before"] == {"ip": "172.16.5.20"} and result["diff"]["after"] == {"ip": "10.77.0.40"}
        assert [call[1] for call in calls] == ["search"]

    def test_assigns_and_reports_tamroctls_refusal(self, monkeypatch, capsys):
        refusal = (2, "", "searching on 10.77.0.1 (veth0) ...\ntamroctl: 10.77.0.10 answers already; nothing was sent\n")
        result, calls = run_module(address, monkeypatch, capsys,
                                   {"mac": "02-00-00-01-00-20", "address": "10.77.0.10", "force": True},
                                   {"search": SEARCH, "assign": refusal})
        assert calls[-1][1:] == ["assign", "02-00-00-01-00-20", "10.77.0.10", "--force"]
        assert result["failed"] is True and result["changed"] is False
        assert result["reason"] == "10.77.0.10 answers already; nothing was sent"

    def test_a_device_that_does_not_answer_fails_even_in_check_mode(self, monkeypatch, capsys):
        result, calls = run_module(address, monkeypatch, capsys,
                                   {"mac": "02-00-00-01-00-99", "address": "10.77.0.40"}, {"search": SEARCH},
                                   check=True)
        assert result["failed"] is True and result["reason"] == "not found"


class TestSettingsModule:
    EXPORT = {("export", "02-00-00-01-00-10"): (0, recorded("export_10.json"), "")}

    def test_check_mode_with_diff_for_one_device(self, monkeypatch, capsys):
        result, calls = run_module(settings, monkeypatch, capsys,
                                   {"mac": "02-00-00-01-00-10", "settings": {"baud": 115200, "dataBits": 7}},
                                   self.EXPORT, check=True, diff=True)
        assert result["changed"] is True
        assert result["diff"]["before"] == {"baud": 38400} and result["diff"]["after"] == {"baud": 115200}
        assert [call[1] for call in calls] == ["export"]

    def test_pack_as_a_number_matches_the_file_and_nothing_is_written(self, monkeypatch, capsys):
        result, calls = run_module(settings, monkeypatch, capsys,
                                   {"mac": "02-00-00-01-00-10", "settings": {"pack": "off", "port": 10100}},
                                   self.EXPORT)
        assert result["changed"] is False and result["devices"][0]["changes"] == {}
        assert [call[1] for call in calls] == ["export"]

    def test_an_unknown_key_is_refused_by_the_argument_spec(self, monkeypatch, capsys):
        result, calls = run_module(settings, monkeypatch, capsys,
                                   {"mac": "02-00-00-01-00-10", "settings": {"bauds": 1}}, self.EXPORT)
        assert result["failed"] is True and "bauds" in result["msg"] and calls == []

    def test_mac_and_devices_exclude_each_other(self, monkeypatch, capsys):
        result, calls = run_module(settings, monkeypatch, capsys, {
            "mac": "02-00-00-01-00-10", "settings": {"baud": 9600},
            "devices": [{"mac": "02-00-00-01-00-11", "settings": {"baud": 9600}}]}, self.EXPORT)
        assert result["failed"] is True and calls == []


class TestInfoModule:
    def test_returns_the_search_and_changes_nothing(self, monkeypatch, capsys):
        result, calls = run_module(info, monkeypatch, capsys, {"adapter": "veth0"}, {"search": SEARCH}, check=True)
        assert result["changed"] is False
        assert [device["mac"] for device in result["devices"]][-1] == "02-00-00-01-00-20"
        assert result["adapter"]["name"] == "veth0"
        assert result["adapters"] == [result["adapter"]]
        assert calls[0][1:] == ["search", "--adapter", "veth0", "--json"]

    def test_every_adapter_is_returned_and_each_device_names_its_own(self, monkeypatch, capsys):
        every = (0, recorded("search_all.json"), "")
        help_text = (0, "  --adapter TEXT  the adapter's address, name or #N; all: every adapter\n", "")
        result, calls = run_module(info, monkeypatch, capsys, {"adapter": "all"},
                                   {"search": every, "help": help_text})
        assert result["adapter"] is None
        assert [adapter["address"] for adapter in result["adapters"]] == ["10.77.0.1"]
        assert result["devices"] and all(device["adapter"]["name"] == "veth0" for device in result["devices"])
        assert calls[0][1:] == ["search", "--adapter", "all", "--json"]
