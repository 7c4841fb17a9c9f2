// The terminal API: typed access to attendance terminals on a serial bus or
// over TCP.
//
//   auto line = tallygate::Line::Open(tallygate::TcpEndpoint{"10.0.0.7"});
//   if (!line) { std::cerr << line.error().message() << "\n"; return 1; }
//   auto count = (*line)->RecordCount(1);
//   (*line)->FetchRecords(1, 0, [](const tallygate::AttendanceRecord& r) { ... });
//
// A Line is one serial bus (up to 255 terminals, each command naming its
// terminal's address) or one TCP connection (one terminal, usually address 1).
// Every operation returns a Result (result.h): the value, or an Error whose
// code says why there is none (no reply, a reply from another address, a bad
// check byte, a wrong command echo, a connection refused, closed or reset, a
// host not found, a device busy or gone, an invalid argument, a stop). Nothing
// here throws for such a failure.
//
// Threads: a Line has no hidden per-thread state. Different lines may be
// used from different threads at the same time; one line must be used by one
// thread at a time (it is one wire: its commands cannot overlap anyway).
//
// Waits: every command waits for its reply at most its usual time (given
// with each command below), or CallOptions::wait. A stop request on
// CallOptions::stop ends a wait within 100 ms with ErrorCode::kStopped.
//
// Text: names and messages cross this API as UTF-8; on the wire they are in
// the terminal's code page (GBK, or Big5 mapped to GB2312 codes on
// Traditional-Chinese terminals; see LineOptions::names).
#ifndef TALLYGATE_TERMINAL_H_
#define TALLYGATE_TERMINAL_H_

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "tallygate/result.h"
#include "tallygate/trace.h"

namespace tallygate {

// ---- Where a line goes --------------------------------------------------------

// A serial port with an RS-485 bus behind it: a device path ("/dev/ttyUSB0")
// or a COM port ("COM3", "3"), which maps to /dev/ttyS2 or to the device that
// TALLYGATE_COM3 names.
struct SerialEndpoint {
  std::string device;
};

// The device file a SerialEndpoint opens: its COM port's, or its path.
std::string SerialDeviceFile(const SerialEndpoint& endpoint);

// A terminal reached over TCP: a host name, an IPv4 address or an IPv6
// literal (without brackets), and its port.
struct TcpEndpoint {
  std::string host;
  uint16_t port = 1001;
};

using Endpoint = std::variant<SerialEndpoint, TcpEndpoint>;

// The numeric addresses of `host` (IPv4 dotted, IPv6 without brackets), in
// the order the resolver gives them; kHostNotFound when it has none.
Result<std::vector<std::string>> ResolveHost(const std::string& host);

// How names are coded on the terminals of a line.
enum class NameCoding {
  kGbk,          // GB2312/GBK, as Simplified-Chinese terminals keep them
  kBig5Mapped,   // Big5 text mapped code by code to GB2312 (needs "rm.txt")
};

struct LineOptions {
  // How long opening a TCP line may take, name resolution aside.
  std::chrono::duration<double> connect_wait{2.0};
  NameCoding names = NameCoding::kGbk;
  // Receives every block of bytes sent or received (trace.h).
  TraceCallback trace;
};

// ---- Per call -----------------------------------------------------------------

struct CallOptions {
  // Instead of the command's usual reply wait.
  std::optional<std::chrono::duration<double>> wait;
  std::stop_token stop;
};

// ---- Values -------------------------------------------------------------------

// The terminal's local date and time (a terminal has no time zone).
using LocalDateTime = std::chrono::local_seconds;

// One attendance record (a punch) as the terminal keeps it.
struct AttendanceRecord {
  uint8_t address = 0;   // the terminal's
  int32_t position = 0;  // 0 is the oldest record of the terminal
  uint32_t card = 0;
  // When the six BCD date and time bytes form a valid date and time (years
  // 2000 to 2099). A record with a broken date is kept all the same, with
  // its bytes in `raw`.
  std::optional<LocalDateTime> time;
  uint8_t flag = 0;
  uint8_t keep = 0;
  std::array<uint8_t, 16> raw{};  // the unit as received, check byte last

  // YY MM DD hh mm ss as they came, BCD.
  std::array<uint8_t, 6> time_bytes() const;
  // Card number, date and time, flag and keep byte as they came: the unit
  // without its address, the bytes nobody reads and its check byte.
  std::array<uint8_t, 12> record_bytes() const;
};

// One entry of a terminal's card list.
struct CardEntry {
  int32_t position = 0;
  uint32_t card = 0;
  std::string staff;              // the staff number's BCD bytes as 8 digits
  std::string name;               // UTF-8, decoded from the terminal's code page
  std::array<uint8_t, 8> name_raw{};
  std::array<uint8_t, 20> raw{};  // the unit as received
};

// How a terminal's positions fall into pages: page p (1 to kMostPages)
// holds positions (p-1)*kPagePositions to p*kPagePositions-1.
extern const int32_t kPagePositions;
extern const int32_t kMostPages;

// One page of a fetch: the positions it was asked for, and what came.
struct PageReport {
  int32_t page = 0;            // 1 to 128
  int32_t first_position = 0;  // the first position asked for on this page
  int32_t expected = 0;        // positions asked for on this page
  int32_t received = 0;        // of those, delivered
  int attempts = 0;            // requests sent for this page
  std::vector<int32_t> missed; // positions still missing after the last attempt
};

struct FetchReport {
  int32_t count = 0;     // the terminal's count the fetch worked from
  int32_t from = 0;
  int32_t delivered = 0;
  std::vector<PageReport> pages;
  // Three pages were lost (a page is lost when the last of its attempts
  // still missed units), and no page after the third was asked for.
  bool stopped_early = false;

  // Every position from `from` to count-1 was delivered.
  bool complete() const { return delivered == (count > from ? count - from : 0); }
};

struct FetchOptions {
  // The terminal's count, when the caller has just asked for it; otherwise
  // the fetch asks first.
  std::optional<int32_t> count;
  // The longest wait for each unit of a page.
  std::chrono::duration<double> unit_wait{3.0};
  std::stop_token stop;
  // Called as each attempt at a page begins (`done` false; `attempts`
  // counts the attempt, `received` what earlier attempts delivered) and
  // once when the page is done (`done` true, `missed` filled in). Every
  // record or card of the page was handed to the callback before the page
  // is reported done, so a caller may commit page by page.
  std::function<void(const PageReport& page, bool done)> on_page;
};

// The 13-byte parameter block, unparsed (its meaning is the terminal's), and
// the whole reply it came in.
struct SystemParameters {
  std::array<uint8_t, 13> block{};
  std::array<uint8_t, 17> reply{};
};

// The three settings a terminal takes.
struct ParameterSettings {
  std::array<uint8_t, 2> relay_delay{};  // plain byte values
  uint16_t punch_interval_minutes = 0;   // at most 1440
  uint16_t mode_word = 0;                // see kAccessControlMode, kTraditionalText

  static constexpr uint16_t kAccessControlMode = 0x8000;
  static constexpr uint16_t kTraditionalText = 0x4000;
};

// The number read from the card last held to the terminal's reader.
struct CardRead {
  uint32_t card = 0;
  std::array<uint8_t, 8> reply{};
};

// A start-up picture: 512 bytes, sent in 32 blocks of 16.
using StartupPicture = std::array<uint8_t, 512>;

// ---- A card-list entry's fields, as the terminal keeps them -----------------------

// The name field of a card-list entry, in bytes of the terminal's code page.
inline constexpr size_t kCardNameBytes = 8;

// `text` in the code page of terminals whose names are coded `coding`: the
// bytes EnrolCard and ShowMessage send. A character the code page lacks
// becomes a single '?' (as the platform's own conversion does). Fails with
// kInvalidArgument for text that is not UTF-8, and for kBig5Mapped while the
// Big5 to GB2312 tables are not loaded.
Result<std::vector<uint8_t>> TerminalTextBytes(const std::string& text, NameCoding coding);

// `name` as a card-list entry holds it on terminals coded `coding`.
struct HeldCardName {
  // The leading whole characters of `name` whose bytes fit the name field
  // (all of it when it fits): what EnrolCard takes.
  std::string enrolled;
  // The name field once `enrolled` is enrolled (its bytes, zeros after
  // them), and the name FetchCards reads from it: CardEntry::name_raw and
  // CardEntry::name. A character the code page lacks reads back as '?'.
  std::array<uint8_t, kCardNameBytes> raw{};
  std::string name;
};
// Fails as TerminalTextBytes does.
Result<HeldCardName> HoldCardName(const std::string& name, NameCoding coding);

// A staff number of up to 8 decimal digits as the four BCD bytes of a
// card-list entry ("1234" is 00 00 12 34); kInvalidArgument otherwise.
Result<std::array<uint8_t, 4>> StaffNumberBytes(const std::string& digits);

// ---- The line -------------------------------------------------------------------

class Line {
 public:
  // Opens a serial port (exclusively) or connects to a terminal. Fails with
  // kNoSuchDevice, kDeviceBusy, kPermissionDenied, kHostNotFound, kRefused,
  // kTimedOut...
  static Result<std::unique_ptr<Line>> Open(const Endpoint& endpoint, LineOptions options = {});

  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // "/dev/ttyUSB0", "10.0.0.7:1001".
  std::string Name() const;
  bool serial() const;

  // ---- Counts (3 s) ----
  Result<int32_t> RecordCount(uint8_t address, const CallOptions& options = {});
  Result<int32_t> CardCount(uint8_t address, const CallOptions& options = {});

  // ---- Fetching ----
  // Hands every record from position `from` on to `on_record`, in order,
  // page by page as they arrive; asks only for the pages holding those
  // positions, 256 a page. A page is asked for again while any of its
  // positions is still missing, up to 5 attempts in all (a pause of 30 ms
  // before each); a record is delivered once, even when its page comes
  // again. Units carry no position: an attempt in which a read timed out
  // may have skipped one, so none of its units is delivered; no record is
  // delivered at a guessed position. A page with positions still missing
  // after its attempts is lost; three pages lost end the fetch
  // (stopped_early). The report says per page what arrived and what is
  // missing. Fails only when no count could be had, a stop was requested,
  // or `from` is negative.
  Result<FetchReport> FetchRecords(uint8_t address, int32_t from,
                                   const std::function<void(const AttendanceRecord&)>& on_record,
                                   const FetchOptions& options = {});
  // The same for card-list entries: 3 attempts a page, one 30 ms pause a
  // page.
  Result<FetchReport> FetchCards(uint8_t address, int32_t from,
                                 const std::function<void(const CardEntry&)>& on_card,
                                 const FetchOptions& options = {});

  // ---- Memory maintenance and storage mode ----
  Status ClearFlag(uint8_t address, const CallOptions& options = {});         // 1.5 s
  Status ClearRecords(uint8_t address, const CallOptions& options = {});      // 10 s
  Status ClearCardList(uint8_t address, const CallOptions& options = {});     // 10 s
  // The terminal answers from its new address.
  Status ChangeAddress(uint8_t address, uint8_t new_address, const CallOptions& options = {});
  // Mode 1 or 2. The terminal's answer has no defined form: success means
  // the frame left the port.
  Status SetStorageMode(uint8_t address, uint8_t mode, const CallOptions& options = {});
  Result<uint8_t> StorageMode(uint8_t address, const CallOptions& options = {});  // 1.5 s

  // ---- Cards ----
  // Enrols a card: staff number up to 8 digits, name at most 8 bytes in the
  // terminal's code page.
  Status EnrolCard(uint8_t address, uint32_t card, const std::string& staff_digits,
                   const std::string& name, const CallOptions& options = {});  // 3 s
  Status RemoveCard(uint8_t address, uint32_t card, const CallOptions& options = {});  // 5 s
  // Whether the card is on the terminal's list.
  Result<bool> FindCard(uint8_t address, uint32_t card, const CallOptions& options = {});  // 3 s
  Result<CardRead> ReadCard(uint8_t address, const CallOptions& options = {});  // 2 s
  // Writes one attendance record into the terminal.
  Status StoreRecord(uint8_t address, uint32_t card, LocalDateTime time, uint8_t flag = 0xFF,
                     uint8_t keep = 0x99, const CallOptions& options = {});  // 3 s

  // ---- System parameters ----
  Result<SystemParameters> ReadParameters(uint8_t address, const CallOptions& options = {});  // 2 s
  Status WriteParameters(uint8_t address, const ParameterSettings& settings,
                         const CallOptions& options = {});  // 5 s

  // ---- Clock and ring schedules ----
  // Sets date, time and day of the week (ISO: Monday 1 to Sunday 7).
  Status SetClock(uint8_t address, LocalDateTime time, const CallOptions& options = {});  // 2 s
  // Loads ring schedule `schedule` (1, 2 or 3) with up to ten times of day,
  // hour and minute.
  Status SetRingSchedule(uint8_t address, int schedule,
                         const std::vector<std::chrono::minutes>& times,
                         const CallOptions& options = {});  // 9 s

  // ---- Display, voice and password ----
  // Shows a message (at most 32 bytes in the terminal's code page) for
  // `seconds`. Serial bus only.
  Status ShowMessage(uint8_t address, uint8_t seconds, const std::string& text,
                     const CallOptions& options = {});  // 3 s
  // Plays voice prompt `number`. Serial bus only.
  Status PlaySound(uint8_t address, uint8_t number, const CallOptions& options = {});  // 10 s
  // Four digits.
  Status SetPassword(uint8_t address, const std::string& digits, const CallOptions& options = {});
  Result<std::string> Password(uint8_t address, const CallOptions& options = {});  // 3 s

  // ---- Start-up picture (serial bus only) ----
  Status SendPicture(uint8_t address, const StartupPicture& picture,
                     const CallOptions& options = {});

  struct Impl;

 private:
  explicit Line(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tallygate

#endif  // TALLYGATE_TERMINAL_H_
