"""Fixtures of the end-to-end suite: one desktop per test session, a fresh program folder per test,
and, for a test that fails, a screenshot and the program's logs in its results folder."""
import os
import re
import shutil

import pytest

import harness

RESULTS = os.path.join(harness.BUILD, "e2e-results")


def pytest_configure(config):
    for path in (harness.PROGRAM, harness.HELP_FILE, harness.MEMO_BOOK_MAKER):
        if not os.path.exists(path):
            raise pytest.UsageError("build the program first: %s is missing" % path)


@pytest.fixture(scope="session")
def desktop():
    session_dir = os.path.join(RESULTS, "desktop-%d" % os.getpid())
    shutil.rmtree(session_dir, ignore_errors=True)
    d = harness.Desktop(session_dir).start()
    yield d
    d.stop()


@pytest.fixture
def results(request):
    name = re.sub(r"[^\w.-]+", "_", request.node.nodeid.replace("/", "."))
    path = os.path.join(RESULTS, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


@pytest.fixture
def folder(desktop, results, tmp_path):
    """A program folder of its own, with an empty memo book; its programs end with the test."""
    f = harness.ProgramFolder(str(tmp_path / "プログラム"), desktop, results)
    yield f
    f.stop_all()


@pytest.hookimpl(tryfirst=True, hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.when == "call" and report.failed and "desktop" in item.fixturenames:
        results = item.funcargs.get("results")
        d = item.funcargs.get("desktop")
        if results and d:
            shot = os.path.join(results, "screen.png")
            try:
                d.screenshot(shot)
                report.sections.append(("e2e", "screenshot and program logs: %s" % results))
            except Exception as error:
                report.sections.append(("e2e", "no screenshot: %r" % (error,)))
