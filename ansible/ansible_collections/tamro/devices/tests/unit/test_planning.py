"""Planning and judging from tamroctl's JSON: what differs, what shares one
apply, what counts as a failure."""

import json
import sys

import pytest

from ansible_collections.tamro.devices.plugins.module_utils import tamroctl as tc
from conftest import recorded

EXPORTED = json.loads(recorded("export_10.json"))["settings"]


class TestPlanChanges:
    def test_only_differing_keys_with_both_values(self):
        changes = tc.plan_changes(EXPORTED, {"baud": 115200, "flow": "cts-rts", "dataBits": 7})
        assert changes == {"baud": {"before": 38400, "after": 115200},
                           "flow": {"before": "none", "after": "cts-rts"}}

    def test_equal_values_in_other_spellings_are_no_change(self):
        # dhcp "off", numbers as text and list words in capitals are what the
        # settings file also accepts.
        wanted = {"dhcp": "off", "port": "10100", "parity": "EVEN", "pack": "off", "ip": "10.77.0.10"}
        assert tc.plan_changes(EXPORTED, wanted) == {}

    def test_a_key_the_device_does_not_export_is_a_change(self):
        # connect none switches the remote address off: not exported.
        assert tc.plan_changes(EXPORTED, {"remoteIp": "10.77.0.200"}) == {
            "remoteIp": {"before": None, "after": "10.77.0.200"}}

    def test_dhcp_on_differs_from_a_fixed_address(self):
        assert tc.plan_changes(EXPORTED, {"dhcp": True})["dhcp"] == {"before": False, "after": True}

    def test_diff_holds_the_changed_keys_only(self):
        changes = tc.plan_changes(EXPORTED, {"baud": 115200, "dataBits": 7})
        assert tc.diff_of(changes, "02-00-00-01-00-10") == {
            "before": {"baud": 38400}, "after": {"baud": 115200},
            "before_header": "02-00-00-01-00-10", "after_header": "02-00-00-01-00-10"}


class TestGroups:
    def test_devices_differing_only_by_address_share_one_apply(self):
        entries = [
            {"mac": "02-00-00-00-00-01", "settings": {"baud": 9600, "ip": "10.0.0.1"}, "model": None},
            {"mac": "02-00-00-00-00-02", "settings": {"baud": 9600, "ip": "10.0.0.2", "mask": "255.0.0.0"},
             "model": None},
        ]
        groups = tc.group_entries(entries)
        assert [(model, shared, [e["mac"] for e in members]) for model, shared, members in groups] == [
            (None, {"baud": 9600}, ["02-00-00-00-00-01", "02-00-00-00-00-02"])]
        assert tc.address_map(entries) == ("mac,ip,mask,gateway\n02-00-00-00-00-01,10.0.0.1,,\n"
                                           "02-00-00-00-00-02,10.0.0.2,255.0.0.0,\n")

    def test_other_settings_or_model_make_another_group(self):
        entries = [
            {"mac": "A", "settings": {"baud": 9600}, "model": None},
            {"mac": "B", "settings": {"baud": 19200}, "model": None},
            {"mac": "C", "settings": {"baud": 9600}, "model": "QZ-200F"},
            {"mac": "D", "settings": {"baud": 9600}, "model": None},
        ]
        assert [[e["mac"] for e in group[2]] for group in tc.group_entries(entries)] == [
            ["A", "D"], ["B"], ["C"]]

    def test_a_mask_without_an_address_stays_in_the_settings(self):
        entries = [{"mac": "A", "settings": {"mask": "255.255.0.0"}, "model": None}]
        assert tc.group_entries(entries)[0][1] == {"mask": "255.255.0.0"}
        assert tc.address_map(entries) is None


class TestApplyResults:
    def test_written_and_verified_is_no_failure(self):
        assert tc.apply_failures(json.loads(recorded("apply_written.json"))) == []

    def test_a_refusal_lists_its_problems(self):
        problems = tc.apply_failures(json.loads(recorded("apply_refused.json")))
        assert len(problems) == 2 and "QZ-200F fixes the serial settings" in problems[0]

    def test_failed_and_differing_devices_are_named(self):
        result = {"devices": [
            {"mac": "A", "ip": "10.0.0.1", "result": "failed", "message": "通信エラー"},
            {"mac": "B", "ip": "10.0.0.2", "result": "written", "verify": "differing",
             "differing": ["baud: applied 115200, reads 9600"]},
            {"mac": "C", "ip": "10.0.0.3", "result": "unchanged"},
        ]}
        assert tc.apply_failures(result) == [
            "A / 10.0.0.1: failed: 通信エラー",
            "B / 10.0.0.2: differing: baud: applied 115200, reads 9600"]

    def test_no_json_at_all_is_a_failure(self):
        assert tc.apply_failures(None) == ["tamroctl printed no result"]


class TestPlanFromCheck:
    CHECKED = {"adapter": "10.77.0.1 (veth0)", "devices": [
        {"mac": "02-00-00-00-00-02", "ip": "10.77.0.12", "changed": False, "changes": {}, "problems": []},
        {"mac": "02:00:00:00:00:01", "ip": "10.77.0.11", "changed": True,
         "changes": {"baud": {"before": 9600, "after": 115200}}, "problems": []},
    ]}

    def test_plans_follow_the_entries_order(self):
        entries = [{"mac": "02-00-00-00-00-01"}, {"mac": "02-00-00-00-00-02"}]
        plans = tc.plan_from_check(entries, self.CHECKED)
        assert [(p["mac"], p["changed"], p["changes"]) for p in plans] == [
            ("02-00-00-00-00-01", True, {"baud": {"before": 9600, "after": 115200}}),
            ("02-00-00-00-00-02", False, {})]

    def test_a_device_missing_from_the_plan_is_an_error(self):
        with pytest.raises(tc.TamroctlError):
            tc.plan_from_check([{"mac": "02-00-00-00-00-09"}], self.CHECKED)

    def test_a_recorded_check_with_an_address_map(self):
        # 10 keeps its baud (38400 already) and changes flow; 11 moves, from the map.
        entries = [{"mac": "02-00-00-01-00-11"}, {"mac": "02-00-00-01-00-10"}]
        plans = tc.plan_from_check(entries, json.loads(recorded("apply_check.json")))
        assert [p["mac"] for p in plans] == ["02-00-00-01-00-11", "02-00-00-01-00-10"]
        assert plans[1]["changes"] == {"flow": {"before": "none", "after": "cts-rts"}}
        assert sorted(plans[0]["changes"]) == ["baud", "flow", "ip"]
        assert plans[0]["ip"] == "10.77.0.11"


class TestRunProcess:
    def test_output_after_a_quiet_second_is_read_to_the_end(self):
        # A search is quiet for a second, then prints everything and exits.
        script = "import sys,time; time.sleep(1.05); sys.stdout.write('x' * 200000); sys.stderr.write('e'); sys.exit(3)"
        rc, out, err = tc.run_process([sys.executable, "-c", script])
        assert (rc, len(out), err) == (3, 200000, "e")

    def test_stdin_is_no_terminal_and_empty(self):
        rc, out, err = tc.run_process([sys.executable, "-c", "import sys; print(sys.stdin.isatty(), repr(sys.stdin.read()))"])
        assert out.strip() == "False ''"
