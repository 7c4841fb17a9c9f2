"""Every failure raises its own tallygate.Error subclass with the reason;
arguments that cannot be sent raise ValueError or TypeError and send
nothing."""

import datetime

import pytest

import tallygate


@pytest.mark.parametrize("control, call, error", [
    ("fault GetStorageModel:next:drop", "storage_mode", tallygate.NoReplyError),
    ("fault GetStorageModel:next:short=2", "storage_mode", tallygate.NoReplyError),
    ("fault GetStorageModel:next:wrong-address", "storage_mode", tallygate.OtherAddressError),
    ("fault GetStorageModel:next:bad-check", "storage_mode", tallygate.BadCheckError),
    ("fault GetStorageModel:next:wrong-echo", "storage_mode", tallygate.WrongEchoError),
    ("set-records 33000", "record_count", tallygate.BadReplyError),
])
def test_each_failure_raises_its_own_error_and_the_line_goes_on(simulator, line, control, call,
                                                                error):
    terminal = line.terminal(1)
    simulator.control(control)
    with pytest.raises(error) as raised:
        getattr(terminal, call)(timeout=0.5)
    assert isinstance(raised.value, tallygate.Error)
    assert "terminal 1" in raised.value.reason
    assert str(raised.value) == raised.value.reason
    simulator.control("set-records 3")
    assert terminal.record_count(timeout=0.5) == 3


def test_a_connection_the_terminal_closes_raises_closed_error(simulator):
    simulator.control("fault ClearFlag:next:close")
    with simulator.open("tcp") as line:
        with pytest.raises(tallygate.ClosedError) as raised:
            line.terminal(1).clear_flag(timeout=0.5)
    assert raised.value.kind == "closed"
    with pytest.raises(tallygate.ClosedError, match="is closed"):
        line.terminal(1).clear_flag()


@pytest.mark.parametrize("how, error", [
    ("no such device", tallygate.NoSuchDeviceError),
    ("device held", tallygate.DeviceBusyError),
    ("unknown host", tallygate.HostNotFoundError),
    ("nobody listening", tallygate.RefusedError),
])
def test_opening_failures_raise_their_own_error(simulator, how, error):
    opening = {
        "no such device": lambda: tallygate.Line.serial("/dev/no-such-tallygate-device"),
        "device held": lambda: tallygate.Line.serial(simulator.pty),
        "unknown host": lambda: tallygate.Line.tcp("no-such-host.invalid"),
        "nobody listening": lambda: tallygate.Line.tcp("127.0.0.1", simulator.port),
    }[how]
    with simulator.open("pty"):  # holds the serial device
        simulator.control("stop")  # the TCP port refuses connections
        with pytest.raises(error):
            opening()


def bad_calls():
    at = datetime.datetime(2024, 3, 15, 8, 30)
    cases = {
        "address 256": (lambda t: t.line.terminal(256), ValueError),
        "card above 32 bits": (lambda t: t.find_card(2**32), ValueError),
        "staff number not digits": (lambda t: t.enrol_card(1, "12a"), ValueError),
        "name of 10 bytes": (lambda t: t.enrol_card(1, "1", "欧阳娜娜明"), ValueError),
        "password of letters": (lambda t: t.set_password("12ab"), ValueError),
        "year 1999": (lambda t: t.store_record(1, at.replace(year=1999)), ValueError),
        "clock from text": (lambda t: t.set_clock("2024-03-15 08:30"), TypeError),
        "storage mode 3": (lambda t: t.set_storage_mode(3), ValueError),
        "ring schedule 4": (lambda t: t.set_ring_schedule(
            tallygate.RingSchedule(4, [datetime.time(8, 0)])), ValueError),
        "eleven ring times": (lambda t: t.set_ring_schedule(
            tallygate.RingSchedule(1, [datetime.time(8, m) for m in range(11)])), ValueError),
        "ring time with seconds": (lambda t: tallygate.RingSchedule(
            1, [datetime.time(8, 0, 30)]), ValueError),
        "relay delay 256": (lambda t: tallygate.ParameterSettings(relay_delay=(256, 0)),
                            ValueError),
        "fetch from -1": (lambda t: t.records(from_position=-1), ValueError),
        "timeout 0": (lambda t: t.record_count(timeout=0), ValueError),
        "card as text": (lambda t: t.remove_card("12"), TypeError),
        "picture of 5 bytes": (lambda t: t.send_picture(b"short"), ValueError),
        "message over TCP": (lambda t: t.show_message("你好", 5), ValueError),
    }
    return [pytest.param(call, error, id=name) for name, (call, error) in cases.items()]


@pytest.mark.parametrize("call, error", bad_calls())
def test_arguments_that_cannot_go_raise_before_anything_is_sent(simulator, call, error):
    sent = []
    with simulator.open("tcp", trace=lambda way, data, when: sent.append(data) if way == ">"
                        else None) as line:
        with pytest.raises(error):
            call(line.terminal(1))
    assert sent == []
