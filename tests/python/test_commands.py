"""Each command family reaches the terminal with its Python values turned into
the right fields, and what a terminal holds reads back."""

import datetime

import pytest

import tallygate


def both_mode_bits():
    settings = tallygate.ParameterSettings(relay_delay=(5, 0), punch_interval_minutes=1440)
    settings.access_control = True
    settings.traditional_text = True
    return settings


@pytest.mark.parametrize("command, shown", [
    pytest.param(lambda t: t.set_clock(datetime.datetime(2026, 1, 31, 23, 59)),
                 "clock 26-01-31 23:59:00 weekday 06", id="clock"),
    pytest.param(lambda t: t.set_ring_schedule(tallygate.RingSchedule(
        2, [datetime.time(8, 30), datetime.time(17, 45)])),
        "ring-schedule 2 08:30 17:45" + " 00:00" * 8, id="ring schedule"),
    pytest.param(lambda t: t.write_parameters(both_mode_bits()),
                 "parameters 050005A0C00000000000000000", id="parameters"),
    pytest.param(lambda t: t.show_message("你好", 5), 'message "你好" for 5', id="message"),
    pytest.param(lambda t: t.play_sound(3), 'sound 3 "欢迎你"', id="voice"),
    pytest.param(lambda t: t.enrol_card(300, "123", "张三"),
                 'card 0000012C staff 00000123 name D5C5C8FD00000000 "张三"', id="card"),
])
def test_each_command_reaches_the_terminal(simulator, command, shown):
    with simulator.open("pty") as line:
        command(line.terminal(1))
    assert shown in simulator.control("status")[1]


def test_what_a_terminal_holds_reads_back(simulator):
    with simulator.open("pty") as line:
        terminal = line.terminal(1)
        terminal.write_parameters(both_mode_bits())
        assert terminal.read_parameters().block[:6] == bytes.fromhex("050005A0C000")
        terminal.set_password("1234")
        assert terminal.password() == "1234"
        terminal.set_storage_mode(2)
        assert terminal.storage_mode() == 2
        terminal.enrol_card(-1, "1", "x")
        assert terminal.find_card(0xFFFFFFFF)
        terminal.remove_card(0xFFFFFFFF)
        assert not terminal.find_card(-1)
        simulator.control("present-card 300")
        assert terminal.read_card().card_hex == "0000012C"


def test_a_picture_file_sends_its_bytes(simulator, tmp_path):
    picture = bytes(range(256)) * 2
    path = tmp_path / "startup.txt"
    path.write_text("".join(picture[i:i + 16].hex().upper() + "\r\n" for i in range(0, 512, 16)))
    with simulator.open("pty") as line:
        line.terminal(1).send_picture(path)
        with pytest.raises(FileNotFoundError):
            line.terminal(1).send_picture(tmp_path / "missing.txt")
    details = simulator.control("status")[1]
    shown = details[details.index("picture") + 1:][:32]
    assert bytes.fromhex("".join(shown)) == picture
