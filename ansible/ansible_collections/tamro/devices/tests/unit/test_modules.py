"""The modules' decisions with a scripted tamroctl: what is run, what is
written, what is reported, for recorded outputs."""

import json

import pytest

from ansible_collections.tamro.devices.plugins.modules import address, settings
from ansible_collections.tamro.devices.plugins.module_utils.tamroctl import Tamroctl
from conftest import Failed, recorded, settings_file_of

SEARCH = (0, recorded("search.json"), "searching on 10.77.0.1 (veth0) ...\n")
EXPORTS = {("export", "02-00-00-01-00-10"): (0, recorded("export_10.json"), ""),
           ("export", "02-00-00-01-00-11"): (0, recorded("export_11.json"), "")}


def settings_params(**overrides):
    params = dict(mac=None, settings=None, model=None, devices=None, adapter="auto", models=None,
                  verify=30, force=False, tamroctl="tamroctl")
    params.update(overrides)
    return params


def run_settings(module, entries):
    tamroctl = Tamroctl(module, "/usr/bin/tamroctl", module.run_command)
    batch = settings.Batch(module, tamroctl)
    plans = settings.plan(module, tamroctl, batch, entries)
    if not module.check_mode:
        settings.write(module, tamroctl, batch, entries, plans)
    return plans


def entries(params):
    return settings.entries_from(params)


class TestSettingsWithoutApplyCheck:
    """tamroctl without apply --check: the plan comes from each device's export."""

    def test_a_device_holding_every_value_is_not_written(self, fake):
        params = settings_params(mac="02:00:00:01:00:10",
                                 settings={"baud": 38400, "parity": "even", "dhcp": False, "pack": "off"})
        module = fake(params, dict(EXPORTS, apply=(1, "", "must not run")))
        plans = run_settings(module, entries(params))
        assert plans == [{"mac": "02-00-00-01-00-10", "changed": False, "changes": {}}]
        assert module.commands("apply") == []
        assert module.commands("export")[0][:3] == ["/usr/bin/tamroctl", "export", "02-00-00-01-00-10"]

    def test_check_mode_plans_and_sends_nothing(self, fake):
        params = settings_params(devices=[
            {"mac": "02-00-00-01-00-10", "settings": {"baud": 115200}, "model": None},
            {"mac": "02-00-00-01-00-11", "settings": {"baud": 9600}, "model": None}])
        module = fake(params, dict(EXPORTS), check_mode=True)
        plans = run_settings(module, entries(params))
        assert [(p["mac"], p["changed"]) for p in plans] == [
            ("02-00-00-01-00-10", True), ("02-00-00-01-00-11", False)]
        assert plans[0]["changes"] == {"baud": {"before": 38400, "after": 115200}}
        assert module.commands("apply") == [] and module.commands("search") == []

    def test_only_the_differing_devices_go_to_one_apply_with_their_addresses(self, fake):
        params = settings_params(verify=10, devices=[
            {"mac": "02-00-00-01-00-10", "settings": {"baud": 115200, "ip": "10.77.0.10"}, "model": None},
            {"mac": "02-00-00-01-00-11", "settings": {"baud": 115200, "ip": "10.77.0.21"}, "model": None}])
        written = json.loads(recorded("apply_written.json"))
        written["devices"] = written["devices"][:2]
        module = fake(params, dict(EXPORTS, apply=(0, json.dumps(written), ""), search=SEARCH))
        plans = run_settings(module, entries(params))
        applies = module.commands("apply")
        assert len(applies) == 1
        call = applies[0]
        assert settings_file_of(call)["settings"] == {"baud": 115200}
        assert call[3:5] == ["02-00-00-01-00-10", "02-00-00-01-00-11"]
        assert "--yes" in call and "--verify=10" in call and "--json" in call
        # The older tamroctl knows no --adapter auto: its first adapter is searched.
        assert "--adapter" not in call
        with open(call[call.index("--addresses") + 1], encoding="utf-8") as handle:
            assert handle.read().splitlines()[1:] == ["02-00-00-01-00-10,10.77.0.10,,",
                                                      "02-00-00-01-00-11,10.77.0.21,,"]
        assert [p["verify"] for p in plans] == ["verified", "verified"]
        assert plans[0]["device"]["settings"]["baudRate"] == 38400  # as the recorded search read it

    def test_a_refused_batch_fails_with_its_problems(self, fake):
        params = settings_params(mac="02-00-00-01-00-10", settings={"baud": 115200}, model="QZ-200F")
        module = fake(params, dict(EXPORTS, apply=(2, recorded("apply_refused.json"), "")))
        with pytest.raises(Failed) as failure:
            run_settings(module, entries(params))
        assert failure.value.result["msg"] == "tamroctl: nothing was sent"
        assert "QZ-200F fixes the serial settings" in failure.value.result["reason"]
        assert "--model" in module.commands("apply")[0]

    def test_a_device_listed_twice_is_refused(self):
        params = settings_params(devices=[
            {"mac": "02-00-00-01-00-10", "settings": {"baud": 1}, "model": None},
            {"mac": "02:00:00:01:00:10", "settings": {"baud": 2}, "model": None}])
        with pytest.raises(Exception, match="listed twice"):
            entries(params)


class TestSettingsWithApplyCheck:
    HELP = "  --check    Plan only\n  --adapter TEXT  address, name, position, auto or all\n"

    def checked(self, changed):
        return json.dumps({"adapter": "10.77.0.1 (veth0)", "devices": [
            {"mac": "02-00-00-01-00-10", "ip": "10.77.0.10", "changed": changed,
             "changes": {"baud": {"before": 38400, "after": 115200}} if changed else {},
             "problems": []}]})

    def test_the_plan_is_tamroctls_and_no_export_runs(self, fake):
        params = settings_params(mac="02-00-00-01-00-10", settings={"baud": 115200})
        module = fake(params, {("help", "apply"): self.HELP, "apply": (0, self.checked(False), "")})
        plans = run_settings(module, entries(params))
        assert plans[0]["changed"] is False
        assert module.commands("export") == []
        (call,) = module.commands("apply")
        assert "--check" in call and call[call.index("--adapter") + 1] == "auto"

    def test_a_change_is_checked_then_written(self, fake):
        params = settings_params(mac="02-00-00-01-00-10", settings={"baud": 115200}, verify=0)

        def apply(args):
            return (0, self.checked(True), "") if "--check" in args else (0, recorded("apply_written.json"), "")
        module = fake(params, {("help", "apply"): self.HELP, ("help", "search"): self.HELP,
                               "apply": apply, "search": SEARCH})
        run_settings(module, entries(params))
        check, write = module.commands("apply")
        assert "--check" in check and "--check" not in write
        assert not any(arg.startswith("--verify") for arg in write)

    def test_a_refused_plan_sends_nothing(self, fake):
        params = settings_params(mac="02-00-00-01-00-10", settings={"baud": 115200})
        module = fake(params, {("help", "apply"): self.HELP, "apply": (2, recorded("apply_refused.json"), "")})
        with pytest.raises(Failed) as failure:
            run_settings(module, entries(params))
        assert failure.value.result["problems"][0].startswith("02-00-00-01-00-10 / 10.77.0.10: baud")
        assert len(module.commands("apply")) == 1


class TestAddress:
    def test_a_device_already_at_the_address_needs_nothing(self):
        search = json.loads(recorded("search_after.json"))
        assert address.decide(search, "02-00-00-01-00-20", "10.77.0.40") == ("10.77.0.40", False)

    def test_a_device_off_the_subnet_or_missing_is_assigned(self):
        search = json.loads(recorded("search.json"))
        assert address.decide(search, "02-00-00-01-00-20", "10.77.0.40") == ("172.16.5.20", True)
        assert address.decide(search, "02-00-00-01-00-99", "10.77.0.40") == (None, True)


class TestSearch:
    def test_an_unknown_adapter_is_an_error_with_tamroctls_reason(self, fake):
        module = fake({}, {"search": (1, recorded("search_bad_adapter.json"), "")})
        with pytest.raises(Exception) as failure:
            Tamroctl(module, "/usr/bin/tamroctl", module.run_command).search("nosuch")
        assert failure.value.reason.startswith('no adapter matches "nosuch"')


class TestFeatureDetection:
    def test_auto_is_passed_only_when_the_help_names_it_as_a_word(self, fake):
        old = fake({}, {("help", "apply"): "  --adapter TEXT  its address (address automatic)\n"})
        assert Tamroctl(old, "/usr/bin/tamroctl", old.run_command).adapter_args("apply", "auto") == []
        new = fake({}, {("help", "apply"): "  --adapter TEXT  address, name, position or auto\n"})
        assert Tamroctl(new, "/usr/bin/tamroctl", new.run_command).adapter_args("apply", "auto") == ["--adapter", "auto"]

    def test_a_named_adapter_is_always_passed(self, fake):
        module = fake({}, {})
        assert Tamroctl(module, "/usr/bin/tamroctl", module.run_command).adapter_args("search", "veth0") == ["--adapter", "veth0"]
        assert module.calls == []

    def test_check_is_not_mistaken_for_another_option(self, fake):
        module = fake({}, {("help", "apply"): "  --checksum  not ours\n"})
        assert not Tamroctl(module, "/usr/bin/tamroctl", module.run_command).has_option("apply", "--check")
