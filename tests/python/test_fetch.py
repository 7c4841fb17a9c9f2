"""Records and card lists through the Python module: every position once and
in place, times and names as sent, and what could not be fetched reported,
never dropped unsaid."""

import datetime

import pytest

import tallygate

# Card, staff number, name: four Chinese characters fill the name's 8 bytes.
CARDS = [(0x0000012C, "123", "张三"), (0xFFFFFFFF, "87654321", "欧阳娜娜"), (7, "", "李四光")]


@pytest.mark.sim_args("--records", "600")
def test_records_and_cards_come_whole_with_their_times_and_names(simulator, line):
    terminal = line.terminal(1)
    punched = datetime.datetime(2024, 2, 29, 23, 59, 58)
    terminal.store_record(0xCAFEBABE, punched, flag=1, keep=2)
    for card, staff, name in CARDS:
        terminal.enrol_card(card, staff, name)

    records = list(terminal.records())
    assert [r.raw for r in records] == simulator.record_units()
    assert [r.position for r in records] == list(range(601))
    stored = records[-1]
    assert (stored.card, stored.card_hex, stored.time, stored.flag, stored.keep) == (
        0xCAFEBABE, "CAFEBABE", punched, 1, 2)

    cards = list(terminal.cards())
    assert [(c.position, c.card, c.staff, c.name) for c in cards] == [
        (i, card, staff.zfill(8), name) for i, (card, staff, name) in enumerate(CARDS)]
    assert cards[1].raw_name == "欧阳娜娜".encode("gbk")
    assert cards[0].card_hex == "0000012C"


@pytest.mark.parametrize("records, fault, yielded, missed", [
    pytest.param(300, "0xBB,page=2,unit=5:every:drop", range(256), range(256, 300),
                 id="a page lost"),
    pytest.param(1100, "0xBB,unit=5:every:drop", range(0), range(1100),
                 id="three pages lost, the rest never asked for"),
])
@pytest.mark.parametrize("strict", [True, False])
def test_positions_not_fetched_are_reported(simulator, records, fault, yielded, missed, strict):
    simulator.control(f"set-records {records}")
    simulator.control(f"fault {fault}")
    seen = []
    events = []
    with simulator.open("tcp") as line:
        iterator = line.terminal(1).records(
            unit_timeout=0.2, strict=strict,
            on_page=lambda page, done: events.append((page.page, done, len(seen))))
        try:
            for record in iterator:
                seen.append(record.position)
        except tallygate.IncompleteFetchError as error:
            assert strict, "raised although strict=False"
            assert error.report.missed == list(missed)
        else:
            assert not strict, "a strict fetch ended without saying what it missed"
    assert seen == list(yielded)
    assert iterator.report.missed == list(missed)
    assert not iterator.report.complete
    # A page is reported done only after every record it brought was yielded.
    done = [(page, count) for page, finished, count in events if finished]
    assert done[0] == (1, min(256, len(seen)))


@pytest.mark.sim_args("--records", "600")
def test_a_call_during_an_unfinished_fetch_raises_instead_of_waiting_for_itself(simulator):
    with simulator.open("tcp") as line:
        terminal = line.terminal(1)
        iterator = terminal.records()
        next(iterator)
        with pytest.raises(RuntimeError, match="unfinished fetch"):
            terminal.record_count()
        iterator.close()
        assert terminal.record_count() == 600
        assert [r.position for r in terminal.records(from_position=598)] == [598, 599]
