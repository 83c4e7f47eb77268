"""The program as the README's commands install it: the run command builds the program only, installs
it and starts it; the desktop's menu starts it by its full path, whatever PATH holds."""
import os
import shlex
import subprocess

import pytest

import harness as h


def desktop_exec(entry):
    """The program and arguments of a desktop entry's Exec, unquoted by the rules of desktop entries."""
    with open(entry, encoding="utf-8") as f:
        line = next(l for l in f if l.startswith("Exec="))
    value = line[len("Exec="):].rstrip("\n").replace("\\\\", "\\")
    return shlex.split(value)


@pytest.fixture
def home(tmp_path, monkeypatch):
    if os.path.abspath(h.BUILD) != os.path.join(h.SOURCE, "build"):
        pytest.skip("the run command builds in the source's own build folder")
    home = tmp_path / "ホーム"
    home.mkdir()
    return str(home)


def test_run_command_builds_the_program_only_installs_and_starts_it(desktop, results, tmp_path, home):
    # The build steps the run command asks for, by a cmake that notes them before it runs.
    shim = tmp_path / "bin"
    shim.mkdir()
    log = tmp_path / "cmake.log"
    (shim / "cmake").write_text('#!/bin/sh\necho "$*" >> "%s"\nexec /usr/bin/cmake "$@"\n' % log)
    (shim / "cmake").chmod(0o755)
    env = dict(os.environ, HOME=home, PATH="%s:%s" % (shim, os.environ["PATH"]), XDG_DATA_HOME="",
               LANG="C.UTF-8", LC_ALL="C.UTF-8", QT_LOGGING_RULES="orv.*=true")
    output = open(os.path.join(results, "run.sh.log"), "wb")
    run = subprocess.Popen(["bash", os.path.join(h.SOURCE, "scripts", "run.sh")], env=env, stdout=output,
                           stderr=subprocess.STDOUT)
    try:
        main = h.wait_for(lambda: installed_main_window(run.pid), "the installed program's main window", timeout=240)
        builds = [line for line in log.read_text().splitlines() if line.startswith("--build")]
        assert builds == ["--build build -j2 --target orvalent orv_help_file orv_app_database"], builds
        data = os.path.join(home, ".local", "share", "orvalent")
        assert os.path.isfile(os.path.join(data, "IDATA2.mdb"))
        h.click(h.find(main, "push button", "終了"))
        assert run.wait(30) == 0
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()

    # The menu's entry names the installed program; ~/.local/bin need not be on PATH.
    entry = os.path.join(home, ".local", "share", "applications", "orvalent.desktop")
    command = desktop_exec(entry)
    assert command == [os.path.join(home, ".local", "bin", "orvalent")], command
    started = subprocess.Popen(command, env=dict(env, PATH="/usr/bin:/bin"), stdout=output, stderr=subprocess.STDOUT)
    try:
        main = h.wait_for(lambda: installed_main_window(started.pid), "the program started from its menu entry")
        h.click(h.find(main, "push button", "終了"))
        assert started.wait(30) == 0
    finally:
        if started.poll() is None:
            started.kill()
            started.wait()


def installed_main_window(pid):
    for app in h.children(h.atspi().Registry.getDesktop(0)):
        if app.get_process_id() == pid:
            for w in h.children(app):
                if w.name == "オルバレント" and h.showing(w) and h.has_state(w, "active"):
                    return w
    return None
