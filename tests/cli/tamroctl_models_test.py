"""Runs tamroctl models against the sample model file and broken ones.

Usage: tamroctl_models_test.py TAMROCTL SAMPLE_MODEL_FILE
"""

import errno
import json
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

run = Program()  # tamroctl, named by the first argument
SAMPLE = ""

NOT_FOUND = "datファイルが見つかりませんでした。"
PARSE_FAILED = "datファイルの解析に失敗しました。"
WRONG_FILE = "datファイルが違います。"

KEYS = [
    "name", "fixedPort", "serialEditable", "maxBaudIndex", "defaultBaudIndex",
    "defaultDataBitsIndex", "defaultParityIndex", "defaultStopBitsIndex", "defaultFlowIndex",
    "cpPinsEditable", "defaultCp1Function", "defaultCp2Function", "defaultCp3Function",
    "clientMode", "modelVariant",
]

SAMPLE_MODELS = [
    ["QZ-100", -1, 1, -1, -1, -1, -1, -1, -1, 1, -1, -1, -1, 1, -1],
    ["QZ-120L", -1, 1, 9, 5, 1, 0, 0, 0, 1, 0, 2, 1, 1, 1],
    ["QZ-200F", 10001, 0, 7, 7, 1, 2, 0, 2, 0, 12, 12, 12, 0, 2],
    ["組込み QZ-310", -1, 1, 12, -1, -1, -1, -1, -1, 1, 4, 6, 8, 2, 1],
    ["QZ-500, dual port", -1, 1, -1, 9, 1, 0, 0, 3, 0, 10, 13, 11, 2, 2],
    ["QZ-60 mini", 10023, 0, 5, 5, 1, 0, 0, 0, 0, 5, 7, 9, 0, -1],
]


def stderr_lines(result):
    return result.stderr.decode("utf-8").splitlines()


class ModelsCommand(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="tamroctl-")

    def tearDown(self):
        shutil.rmtree(self.directory)

    def write(self, name, data):
        path = os.path.join(self.directory, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def run_json(self, *args, program=None):
        result = run("models", *args, "--json", program=program)
        return result, json.loads(result.stdout.decode("utf-8"))

    def test_sample_file_lists_every_column(self):
        result, answer = self.run_json(SAMPLE)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(list(answer), ["models", "messages", "warnings"])
        self.assertEqual(answer["messages"], [])
        self.assertEqual(answer["warnings"], [])
        for model in answer["models"]:
            self.assertEqual(list(model), KEYS)
        self.assertEqual([[model[key] for key in KEYS] for model in answer["models"]],
                         SAMPLE_MODELS)

    def test_default_file_beside_the_program_is_the_sample(self):
        result, answer = self.run_json()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual([model["name"] for model in answer["models"]],
                         [model[0] for model in SAMPLE_MODELS])

    def test_table_shows_names_as_utf8(self):
        result = run("models", SAMPLE)
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.decode("utf-8").splitlines()
        self.assertEqual(len(lines), 1 + len(SAMPLE_MODELS))
        self.assertTrue(lines[0].startswith("Name"))
        for line, model in zip(lines[1:], SAMPLE_MODELS):
            self.assertTrue(line.startswith(model[0]), line)
            self.assertEqual(line.split()[-14:], [str(value) for value in model[1:]])

    def test_wrong_command_line_file_ends_with_status_1(self):
        cases = [
            (b"Other,100\r\nA,1,2,3,4,5,6,7,8,9,10,11,12,13,14\r\n", WRONG_FILE),
            (b"\xef\xbb\xbfTamro,100\r\nA,1,2,3,4,5,6,7,8,9,10,11,12,13,14\r\n", WRONG_FILE),
            (b"Tamro,100\r\nA,1,2,3,4,5,6,7,8,9,10,11,12,13\r\n", PARSE_FAILED),
            (b"", PARSE_FAILED),
        ]
        for data, message in cases:
            path = self.write("broken.dat", data)
            result, answer = self.run_json('"' + path + '"')
            self.assertEqual(result.returncode, 1, data)
            self.assertEqual(stderr_lines(result)[0], message)
            self.assertEqual(answer["models"], [])
            self.assertEqual(answer["messages"], [message])

    def test_unopenable_command_line_file_shows_no_message_but_tells_why(self):
        path = self.write("good.dat", b"Tamro,100\nA,1,2,3,4,5,6,7,8,9,10,11,12,13,14\n")
        folder = os.path.join(self.directory, "folder.dat")
        os.mkdir(folder)
        cases = [(path + " extra", path + " extra", os.strerror(errno.ENOENT)),
                 (os.path.join(self.directory, "missing.dat"),
                  os.path.join(self.directory, "missing.dat"), os.strerror(errno.ENOENT)),
                 ('"' + folder + '"', folder, os.strerror(errno.EISDIR))]
        for text, shown, reason in cases:
            with self.subTest(text=text):
                result, answer = self.run_json(text)
                self.assertEqual(result.returncode, 1)
                # The window's own messages: none.
                self.assertEqual(answer, {"models": [], "messages": [], "warnings": []})
                self.assertEqual(stderr_lines(result), [f"tamroctl: {shown}: {reason}"])

    def test_missing_default_file_is_reported_but_not_fatal(self):
        program = shutil.copy(run.path, os.path.join(self.directory, "tamroctl"))
        # Text without ".dat" is ignored in favour of the default file.
        result, answer = self.run_json(SAMPLE.replace(".dat", ".DAT"), program=program)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(stderr_lines(result), [NOT_FOUND])
        self.assertEqual(answer, {"models": [], "messages": [NOT_FOUND], "warnings": []})

        result = run("models", program=program)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(stderr_lines(result), [NOT_FOUND])

    def test_broken_default_file_is_reported_but_not_fatal(self):
        program = shutil.copy(run.path, os.path.join(self.directory, "tamroctl"))
        self.write("tamro.dat", b"Tamro,99\r\n")
        result, answer = self.run_json(program=program)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(answer["models"], [])
        self.assertEqual(answer["messages"], [WRONG_FILE])

    def test_names_are_read_as_code_page_932_even_when_they_read_as_utf8(self):
        # "ﾃｱ QZ" in code page 932 is "ñ QZ" in UTF-8.
        path = self.write("kana.dat", b"Tamro,100\r\n\xc3\xb1 QZ,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n")
        result, answer = self.run_json(path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual([model["name"] for model in answer["models"]], ["ﾃｱ QZ"])
        self.assertEqual(answer["messages"], [])
        self.assertEqual(len(answer["warnings"]), 1)
        self.assertIn("UTF-8", answer["warnings"][0])
        self.assertEqual(stderr_lines(result),
                         [f"tamroctl: warning: {path}: {answer['warnings'][0]}"])

        result = run("models", path)
        self.assertTrue(result.stdout.decode("utf-8").splitlines()[1].startswith("ﾃｱ QZ  "))
        self.assertIn(b"warning", result.stderr)

    def test_a_code_page_932_file_draws_no_encoding_warning(self):
        path = self.write("sjis.dat", "Tamro,100\r\n組込み,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n"
                          .encode("cp932"))
        result, answer = self.run_json(path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(answer["models"][0]["name"], "組込み")
        self.assertEqual(answer["warnings"], [])
        self.assertEqual(result.stderr, b"")

    def test_models_that_cannot_work_are_warned_about(self):
        path = self.write("lint.dat", b"Tamro,100\r\n"
                          b"Telnet,23,0,5,5,1,0,0,0,0,5,7,9,0,-1\r\n"
                          b"# a comment\r\n"
                          b"Short,-1,1,-1,-1\r\n"
                          b"Wide,-1,1,-1,13,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n")
        result, answer = self.run_json(path)
        self.assertEqual(result.returncode, 0)
        # The window loads what it can and says nothing.
        self.assertEqual([model["name"] for model in answer["models"]], ["Telnet", "Wide"])
        self.assertEqual(answer["messages"], [])
        self.assertEqual(len(answer["warnings"]), 3)
        self.assertIn("line 2 (Telnet) fixes the port at 23", answer["warnings"][0])
        self.assertIn("line 4 has 5 fields, not 15", answer["warnings"][1])
        self.assertIn("line 5 (Wide): default baud position 13", answer["warnings"][2])
        self.assertEqual(stderr_lines(result),
                         [f"tamroctl: warning: {path}: {warning}" for warning in answer["warnings"]])

        path = self.write("bom.dat", b"\xef\xbb\xbfTamro,100\r\nA,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n")
        result, answer = self.run_json(path)
        self.assertEqual(answer["messages"], [WRONG_FILE])
        self.assertTrue(any("byte-order mark" in warning and "Tamro,100" in warning
                            for warning in answer["warnings"]), answer["warnings"])

    def test_wide_names_line_up_by_screen_width(self):
        path = self.write("wide.dat", "Tamro,100\r\n組込み,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n"
                          "QZ,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,1\r\n".encode("cp932"))
        lines = run("models", path).stdout.decode("utf-8").splitlines()
        self.assertEqual(lines[1].index("-1") + 3, lines[2].index("-1"))
        self.assertTrue(lines[2].startswith("QZ    "))

    def test_usage_errors_give_status_2_but_help_does_not(self):
        for args in [[], ["nonsense"], ["models", "a.dat", "b.dat"], ["models", "--frobnicate"],
                     ["--json"]]:
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, b"", args)
            self.assertNotEqual(result.stderr, b"", args)

        result = run("models", "--help")
        self.assertEqual(result.returncode, 0)
        self.assertIn(b"--json", result.stdout)


if __name__ == "__main__":
    run.path, SAMPLE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
