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

    def installed_data_folder():
        builds = [line for line in log.read_text().splitlines() if line.startswith("--build")]
        assert builds == ["--build build -j2 --target orvalent orv_help_file orv_app_database"], builds
        assert os.path.isfile(os.path.join(home, ".local", "share", "orvalent", "IDATA2.mdb"))

    run_until_closed(["bash", os.path.join(h.SOURCE, "scripts", "run.sh")], env, output, installed_data_folder)

    # The menu's entry names the installed program; ~/.local/bin need not be on PATH.
    entry = os.path.join(home, ".local", "share", "applications", "orvalent.desktop")
    command = desktop_exec(entry)
    assert command == [os.path.join(home, ".local", "bin", "orvalent")], command
    run_until_closed(command, dict(env, PATH="/usr/bin:/bin"), output)


def run_until_closed(command, env, output, check=lambda: None):
    """Starts a command that ends in the program, waits for its main window, checks, and closes it
    with 終了: the program ends well."""
    process = subprocess.Popen(command, env=env, stdout=output, stderr=subprocess.STDOUT)
    try:
        main = h.wait_for(lambda: installed_main_window(process.pid), "the program's main window", timeout=240)
        check()
        h.click(h.find(main, "push button", "終了"))
        assert process.wait(30) == 0
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def installed_main_window(pid):
    for app in h.children(h.atspi().Registry.getDesktop(0)):
        if app.get_process_id() == pid:
            for w in h.children(app):
                if w.name == "オルバレント" and h.showing(w) and h.has_state(w, "active"):
                    return w
    return None
