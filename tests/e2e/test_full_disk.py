"""A program folder on a disk that fills up while the user types: saving says that the disk is full,
closing never drops the typing without asking, and once there is room again the typing is stored."""
import contextlib
import os
import subprocess

import pytest

import harness as h
from harness import ENTRY

DISK_FULL = "ディスクの空き容量が足りません。"
SAVE_FAILED = "前の「▼」入力が正常に出来なかったので"
NOT_STORED = "入力した内容を保存出来ませんでした。"


@pytest.fixture
def small_disk(tmp_path):
    disk = tmp_path / "disk"
    disk.mkdir()
    if os.geteuid() != 0:
        pytest.skip("making a small disk (tmpfs) needs root")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=48m", "tmpfs", str(disk)]).returncode != 0:
        pytest.skip("no tmpfs can be mounted here")
    yield str(disk)
    subprocess.run(["umount", "-l", str(disk)])


def fill(path):
    """Takes every byte the disk has left; the file given back frees them."""
    filler = os.path.join(path, "filler")
    fd = os.open(filler, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    try:
        for size in (1 << 20, 1 << 12, 1):
            with contextlib.suppress(OSError):
                while os.write(fd, b"\0" * size) == size:
                    pass
    finally:
        os.close(fd)
    return filler


def test_saving_and_closing_on_a_full_disk(desktop, results, small_disk):
    book = h.ProgramFolder(os.path.join(small_disk, "プログラム"), desktop, results)
    try:
        book.add_memo(date="2026/12/01", keyword="印刷", memo="最初のメモ")
        run = book.start()
        w = h.open_window(run, ENTRY)
        memo = h.field(w, "メモ")
        h.wait_shown(w, "メモ", "最初のメモ")
        filler = fill(small_disk)
        h.click_into(memo)
        h.key("ctrl+End")
        h.type_text("、満杯の時に書いた")

        h.click(h.find(w, "push button", "保存"))
        message = run.answer("OK")
        assert SAVE_FAILED in message and DISK_FULL in message
        assert h.text(memo) == "最初のメモ、満杯の時に書いた"

        h.click(h.find(w, "push button", "終了"))
        _, message = run.message()
        assert NOT_STORED in message and DISK_FULL in message
        run.answer("閉じない")
        assert run.has_window(ENTRY) and h.text(memo) == "最初のメモ、満杯の時に書いた"

        os.remove(filler)
        h.click(h.find(w, "push button", "終了"))
        run.wait_window_gone(ENTRY)
        assert book.memo(1)["メモ"] == "最初のメモ、満杯の時に書いた"
        assert book.integrity() == "ok"
    finally:
        book.stop_all()
