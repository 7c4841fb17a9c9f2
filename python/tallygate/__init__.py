"""Attendance and access-control terminals over a serial bus or TCP.

    import tallygate

    with tallygate.Line.tcp("10.0.0.7") as line:
        terminal = line.terminal(1)
        for record in terminal.records():
            print(record.position, record.card_hex, record.time)

A Line is one serial bus (``Line.serial("/dev/ttyUSB0")``) or one TCP
connection (``Line.tcp(host, port=1001)``); ``line.terminal(address)`` gives
a Terminal with a method per command. Every failure raises a subclass of
``tallygate.Error`` that says why (NoReplyError, RefusedError, ...); an
argument out of range raises ValueError (or InvalidArgumentError, which is
also one) before anything is sent. Calls wait without the GIL, and Ctrl-C
ends a wait at once, leaving the line usable.
"""

from ._tallygate import (
    BadCheckError,
    BadReplyError,
    CardEntry,
    CardIterator,
    CardRead,
    ClosedError,
    DeviceBusyError,
    DeviceGoneError,
    Error,
    FetchReport,
    HostNotFoundError,
    IncompleteFetchError,
    InvalidArgumentError,
    Line,
    LineIoError,
    NoReplyError,
    NoSuchDeviceError,
    OtherAddressError,
    PageReport,
    ParameterSettings,
    PermissionDeniedError,
    Record,
    RecordIterator,
    RefusedError,
    ResetError,
    RingSchedule,
    StoppedError,
    SystemParameters,
    Terminal,
    TimedOutError,
    WrongEchoError,
    __version__,
    load_code_tables,
    resolve_host,
)

__all__ = [
    "BadCheckError",
    "BadReplyError",
    "CardEntry",
    "CardIterator",
    "CardRead",
    "ClosedError",
    "DeviceBusyError",
    "DeviceGoneError",
    "Error",
    "FetchReport",
    "HostNotFoundError",
    "IncompleteFetchError",
    "InvalidArgumentError",
    "Line",
    "LineIoError",
    "NoReplyError",
    "NoSuchDeviceError",
    "OtherAddressError",
    "PageReport",
    "ParameterSettings",
    "PermissionDeniedError",
    "Record",
    "RecordIterator",
    "RefusedError",
    "ResetError",
    "RingSchedule",
    "StoppedError",
    "SystemParameters",
    "Terminal",
    "TimedOutError",
    "WrongEchoError",
    "load_code_tables",
    "resolve_host",
]

# Classes made in the extension say they are tallygate's, as their users name them.
for _name in __all__:
    _value = globals()[_name]
    if isinstance(_value, type) and _value.__module__ == "tallygate._tallygate":
        _value.__module__ = "tallygate"
del _name, _value
