"""tamroctl.exe as a Windows program: arguments read as UTF-16, a model file
under a Japanese path, UTF-8 output with Linux line ends, and the resources.

Usage (TAMRO_PROGRAM_RUNNER names Wine's runner):
    tamroctl_windows_test.py TAMROCTL_EXE SAMPLE_MODEL_FILE
"""

import json
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lab"))
from tamro_lab import Program  # noqa: E402

run = Program()  # tamroctl.exe, named by the first argument
SAMPLE = ""


class WindowsProgram(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="tamro-win-")

    def tearDown(self):
        shutil.rmtree(self.directory)

    def test_a_model_file_under_a_japanese_path_is_read(self):
        folder = os.path.join(self.directory, "設定ファイル")
        os.mkdir(folder)
        path = shutil.copy(SAMPLE, os.path.join(folder, "機種一覧.dat"))
        result = run("models", path, "--json")
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        names = [model["name"] for model in json.loads(result.stdout)["models"]]
        self.assertIn("組込み QZ-310", names)

    def test_a_missing_japanese_path_ends_like_any_missing_file(self):
        result = run("models", os.path.join(self.directory, "無い.dat"))
        self.assertEqual(result.returncode, 1)

    def test_output_is_utf8_with_the_same_line_ends_as_on_linux(self):
        result = run("models", SAMPLE)
        self.assertEqual(result.returncode, 0)
        self.assertNotIn(b"\r\n", result.stdout)
        self.assertIn("組込み QZ-310".encode("utf-8"), result.stdout)
        missing = run("models", program=shutil.copy(run.path, os.path.join(self.directory,
                                                                           "tamroctl.exe")))
        self.assertEqual(missing.returncode, 0)
        self.assertEqual(missing.stderr.decode("utf-8").strip(),
                         "datファイルが見つかりませんでした。")

    def test_the_default_model_file_lies_beside_the_program_in_a_dotted_folder(self):
        folder = os.path.join(self.directory, "v1.0 tools")
        os.mkdir(folder)
        program = shutil.copy(run.path, os.path.join(folder, "tamroctl.exe"))
        shutil.copy(SAMPLE, os.path.join(folder, "tamro.dat"))
        result = run("models", "--json", program=program)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        self.assertEqual(len(json.loads(result.stdout)["models"]), 6)

    def test_the_program_carries_icon_128_and_its_version(self):
        with open(run.path, "rb") as file:
            image = file.read()
        self.assertEqual(image[:2], b"MZ")
        for text in ("FileDescription", "InternalName", "ProductName", "Tamro", "1.0.0.0"):
            self.assertIn(text.encode("utf-16-le"), image, text)
        # No DLL beside it is needed: the MinGW runtime is linked in.
        for runtime in (b"libstdc++-6.dll", b"libgcc_s_seh-1.dll", b"libwinpthread-1.dll"):
            self.assertNotIn(runtime, image.lower())


if __name__ == "__main__":
    SAMPLE = sys.argv.pop(2)
    run.path = sys.argv.pop(1)
    unittest.main()
