// The values the collector keeps: punches, card entries, marks and the
// record of each poll. Shared by the stores, the poller and the commands.
#ifndef TALLYGATE_COLLECTOR_BASE_PUNCH_H_
#define TALLYGATE_COLLECTOR_BASE_PUNCH_H_

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallygate::collector {

// A punch's identity: the twelve bytes of card, date and time (BCD), flag
// and keep as the terminal keeps them. The same identity from the same
// terminal is one punch, however often it is collected.
using PunchBytes = std::array<uint8_t, 12>;

using LocalTime = std::chrono::local_seconds;  // as the terminal recorded it
using UtcTime = std::chrono::sys_seconds;
using LocalDay = std::chrono::local_days;  // a date of the terminal's calendar

struct Punch {
  int32_t position = 0;           // on the terminal when collected
  PunchBytes bytes{};
  uint32_t card = 0;
  std::optional<LocalTime> local; // absent when the date fields are no date
  std::optional<UtcTime> utc;     // absent as well when the zone is unknown
  uint8_t flag = 0;
  uint8_t keep = 0;
  std::array<uint8_t, 16> raw{};  // the unit as received
};

// How many punches a terminal clock's hour holds (Store::PunchesPerHour).
struct HourCount {
  LocalTime hour;  // its first second
  int64_t punches = 0;
  bool operator==(const HourCount&) const = default;
};

struct CardEntry {
  int32_t position = 0;
  uint32_t card = 0;
  std::string staff;     // 8 digits
  std::string name;      // UTF-8, padding removed
  std::vector<uint8_t> raw_name;
};

// How far a terminal's records are stored: positions 0 to positions-1 are
// committed, and `last` holds the bytes of position positions-1 (absent when
// positions is 0). Only a contiguous run from 0 counts: a record stored
// beyond a lost page does not move the mark.
struct Mark {
  int32_t positions = 0;
  std::optional<PunchBytes> last;
  // The record at position 0, beside the last: with it a terminal's memory
  // is recognised on another address (absent in stores from before it was
  // kept, until the terminal is cleared or its mark is moved).
  std::optional<PunchBytes> first;
  bool operator==(const Mark&) const = default;
};

// What the store knows of a terminal's memory: its mark, by which its
// memory is recognised when another terminal's address answers with it.
struct StoredMemory {
  std::string terminal;
  Mark mark;
};

// The memories a terminal's could be, and whether it was told to take the
// one it answers with as its own (Store::AcceptMemory).
struct KnownMemories {
  std::vector<StoredMemory> others;  // every other terminal with a mark
  bool accept = false;
};

// A terminal as configured, kept in the store beside its mark.
struct TerminalInfo {
  std::string name;
  std::string endpoint;  // "tcp://HOST:PORT" or the serial device path
  int address = 1;
  std::string time_zone; // IANA name
};

enum class Outcome {
  kComplete,     // every position up to the count is stored
  kPartial,      // pages lost, or stopped half-way
  kUnreachable,  // no connection or no answer
  kStoreFailed,  // the terminal answered, the store could not commit
  kCleared,      // complete, then the terminal's records were cleared
  // Not failures of the terminal: nothing was polled this time, and the
  // terminal is tried again soon.
  kBusy,              // another program holds its line (device, connection)
  kClaimedElsewhere,  // another collector sharing the database polls it
  // The terminal answers with the memory of another terminal in the store
  // (its address now reaches that one): held, nothing stored or written.
  kWrongTerminal,
};
const char* OutcomeName(Outcome outcome);  // "complete", "partial", ...
// The outcome OutcomeName names; absent for any other text.
std::optional<Outcome> OutcomeFromName(std::string_view name);

// A wrong-terminal poll's error: "gate-1 answers with the memory of gate-2
// (address changed?)"; and the other terminal's name from such a text.
std::string WrongTerminalText(const std::string& terminal, const std::string& other);
std::optional<std::string> MemoryOfFromText(const std::string& terminal, std::string_view error);

// One poll of one terminal, as the collections table keeps it.
struct Collection {
  int64_t id = 0;                // the store's; 0 before it is stored
  std::string terminal;
  UtcTime started{};
  UtcTime ended{};
  std::optional<int32_t> count;  // the terminal's, when it answered
  int32_t from_position = 0;
  int32_t positions_fetched = 0;
  int32_t punches_added = 0;
  int32_t pages_lost = 0;
  Outcome outcome = Outcome::kComplete;
  std::string error;             // empty when none
};

// What `status` shows of a terminal.
struct TerminalState {
  TerminalInfo info;
  Mark mark;
  std::optional<UtcTime> last_poll;
  std::optional<UtcTime> last_success;
  // Every punch the terminal recorded before this time is stored: the start
  // of its last successful poll (absent before one).
  std::optional<UtcTime> complete_to;
  std::optional<UtcTime> backoff_until;
  // When the polls began to fail: the start of the first poll after the
  // last success (or ever, without one) whose outcome was not complete or
  // cleared; absent while the last poll succeeded.
  std::optional<UtcTime> failing_since;
  std::optional<Outcome> last_outcome;  // of the latest finished collection
  std::optional<int32_t> count;  // on the terminal at the last answer
  int64_t punches = 0;           // stored
  std::string last_error;
  // The collector whose claim it is now ("HOST:PID"; "" for a process that
  // gave no name: an older collector, or a `once` run); absent while none
  // holds it. Known on PostgreSQL only.
  std::optional<std::string> polled_by;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_PUNCH_H_
