"""Type stubs of the extension module tallygate._tallygate (re-exported by tallygate)."""

import datetime
import os
from types import TracebackType
from typing import (Callable, ClassVar, Iterable, Iterator, Optional, Sequence, Tuple, TypeVar,
                    Union)

__version__: str

_Self = TypeVar("_Self")
PathLike = Union[str, "os.PathLike[str]"]
TraceCallback = Callable[[str, bytes, float], object]
PageCallback = Callable[["PageReport", bool], object]

# ---- Errors -------------------------------------------------------------------

class Error(Exception):
    """A terminal, a line or a fetch failed."""

    kind: ClassVar[str]
    """The failure's stable name: "no-reply", "refused", ..."""
    reason: str
    """Why, as str(error)."""

class NoReplyError(Error): ...
class OtherAddressError(Error): ...
class BadCheckError(Error): ...
class WrongEchoError(Error): ...
class BadReplyError(Error): ...
class RefusedError(Error): ...
class ClosedError(Error): ...
class ResetError(Error): ...
class TimedOutError(Error): ...
class HostNotFoundError(Error): ...
class DeviceBusyError(Error): ...
class NoSuchDeviceError(Error): ...
class PermissionDeniedError(Error): ...
class DeviceGoneError(Error): ...
class InvalidArgumentError(Error, ValueError): ...
class StoppedError(Error): ...
class LineIoError(Error): ...

class IncompleteFetchError(Error):
    """A fetch ended without every position; raised after the last item that came."""

    report: FetchReport

# ---- Values -------------------------------------------------------------------

class Record:
    """One attendance record (a punch) as the terminal keeps it."""

    address: int
    position: int
    card: int
    card_hex: str
    time: Optional[datetime.datetime]
    """Naive local time as recorded; None when the date bytes are no valid date."""
    flag: int
    keep: int
    raw: bytes
    def __hash__(self) -> int: ...

class CardEntry:
    """One entry of a terminal's card list."""

    position: int
    card: int
    card_hex: str
    staff: str
    name: str
    raw_name: bytes
    raw: bytes
    def __hash__(self) -> int: ...

class PageReport:
    """One page of a fetch: the positions asked for and what came."""

    page: int
    first_position: int
    expected: int
    received: int
    attempts: int
    missed: list[int]

class FetchReport:
    """What a fetch asked for and delivered."""

    count: int
    from_position: int
    delivered: int
    pages: list[PageReport]
    stopped_early: bool
    complete: bool
    missed: list[int]
    """Every position from from_position to count-1 not delivered."""

class SystemParameters:
    """A terminal's 13-byte parameter block, unparsed, and its 17-byte reply."""

    block: bytes
    reply: bytes

class ParameterSettings:
    """The three settings write_parameters gives a terminal."""

    ACCESS_CONTROL_MODE: ClassVar[int]
    TRADITIONAL_TEXT: ClassVar[int]
    relay_delay: Tuple[int, int]
    punch_interval_minutes: int
    mode_word: int
    access_control: bool
    traditional_text: bool
    def __init__(self, *, relay_delay: Sequence[int] = (0, 0), punch_interval_minutes: int = 0,
                 mode_word: int = 0) -> None: ...

class CardRead:
    """The card last held to a terminal's reader."""

    card: int
    card_hex: str
    reply: bytes

class RingSchedule:
    """A ring schedule to load: its number (1 to 3) and up to ten times of day."""

    number: int
    times: list[datetime.time]
    def __init__(self, number: int, times: Iterable[datetime.time] = ()) -> None: ...

# ---- Fetching -----------------------------------------------------------------

_Item = TypeVar("_Item")

class _FetchIterator(Iterator[_Item]):
    """Yields a terminal's records or card-list entries as their pages arrive."""

    @property
    def report(self) -> Optional[FetchReport]:
        """The FetchReport once the fetch has ended by itself; None before."""
    def __next__(self) -> _Item: ...
    def close(self) -> None: ...
    def __enter__(self: _Self) -> _Self: ...
    def __exit__(self, kind: Optional[type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None: ...

class RecordIterator(_FetchIterator[Record]): ...
class CardIterator(_FetchIterator[CardEntry]): ...

# ---- Lines and terminals ------------------------------------------------------

class Line:
    """A serial bus or a TCP connection to one terminal; closes on leaving a with block."""

    @staticmethod
    def tcp(host: str, port: int = 1001, *, connect_timeout: float = 2.0, names: str = "gbk",
            trace: Optional[TraceCallback] = None) -> Line: ...
    @staticmethod
    def serial(device: Union[PathLike, int], *, names: str = "gbk",
               trace: Optional[TraceCallback] = None) -> Line: ...
    def terminal(self, address: int) -> Terminal: ...
    @property
    def name(self) -> str: ...
    @property
    def is_serial(self) -> bool: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...
    def __enter__(self) -> Line: ...
    def __exit__(self, kind: Optional[type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None: ...

class Terminal:
    """One terminal of a line, with a method per command."""

    @property
    def address(self) -> int: ...
    @property
    def line(self) -> Line: ...
    def record_count(self, *, timeout: Optional[float] = None) -> int: ...
    def card_count(self, *, timeout: Optional[float] = None) -> int: ...
    def records(self, from_position: int = 0, *, count: Optional[int] = None,
                unit_timeout: float = 3.0, on_page: Optional[PageCallback] = None,
                strict: bool = True) -> RecordIterator: ...
    def cards(self, from_position: int = 0, *, count: Optional[int] = None,
              unit_timeout: float = 3.0, on_page: Optional[PageCallback] = None,
              strict: bool = True) -> CardIterator: ...
    def clear_flag(self, *, timeout: Optional[float] = None) -> None: ...
    def clear_records(self, *, timeout: Optional[float] = None) -> None: ...
    def clear_cards(self, *, timeout: Optional[float] = None) -> None: ...
    def change_address(self, new_address: int, *, timeout: Optional[float] = None) -> Terminal: ...
    def set_storage_mode(self, mode: int, *, timeout: Optional[float] = None) -> None: ...
    def storage_mode(self, *, timeout: Optional[float] = None) -> int: ...
    def enrol_card(self, card: int, staff: str = "", name: str = "", *,
                   timeout: Optional[float] = None) -> None: ...
    def remove_card(self, card: int, *, timeout: Optional[float] = None) -> None: ...
    def find_card(self, card: int, *, timeout: Optional[float] = None) -> bool: ...
    def read_card(self, *, timeout: Optional[float] = None) -> CardRead: ...
    def store_record(self, card: int, time: datetime.datetime, flag: int = 0xFF, keep: int = 0x99,
                     *, timeout: Optional[float] = None) -> None: ...
    def read_parameters(self, *, timeout: Optional[float] = None) -> SystemParameters: ...
    def write_parameters(self, settings: ParameterSettings, *,
                         timeout: Optional[float] = None) -> None: ...
    def set_clock(self, time: Optional[datetime.datetime] = None, *,
                  timeout: Optional[float] = None) -> None: ...
    def set_ring_schedule(self, schedule: RingSchedule, *,
                          timeout: Optional[float] = None) -> None: ...
    def show_message(self, text: str, seconds: int, *, timeout: Optional[float] = None) -> None: ...
    def play_sound(self, number: int, *, timeout: Optional[float] = None) -> None: ...
    def set_password(self, digits: str, *, timeout: Optional[float] = None) -> None: ...
    def password(self, *, timeout: Optional[float] = None) -> str: ...
    def send_picture(self, picture: Union[bytes, bytearray, memoryview, PathLike], *,
                     timeout: Optional[float] = None) -> None: ...

def resolve_host(host: str) -> list[str]: ...
def load_code_tables(path: PathLike) -> None: ...
