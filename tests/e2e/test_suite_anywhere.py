"""The test suite passes from a checkout that other users cannot enter (root's home folder, mode 0700):
the start-up test that runs the program as the user nobody still can."""
import os
import shutil
import subprocess

import pytest

import harness as h


def test_the_start_up_test_passes_from_a_private_folder(tmp_path):
    tests = os.path.join(h.BUILD, "tests")
    if os.geteuid() != 0:
        pytest.skip("the start-up test runs a program as another user only as root")
    if not os.path.exists(os.path.join(tests, "tst_startup")):
        pytest.skip("no unit tests in this build")
    private = tmp_path / "private"
    private.mkdir(mode=0o700)
    for name in ("tst_startup", "orv_start_driver"):
        shutil.copy2(os.path.join(tests, name), private / name)
    done = subprocess.run([str(private / "tst_startup"), "programFolderThatTakesNoWrites"], capture_output=True,
                          text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), timeout=120)
    assert done.returncode == 0, done.stdout[-3000:]
