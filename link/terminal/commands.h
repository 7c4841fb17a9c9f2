// The terminal commands over one exchange, with their fields as the wire
// carries them (BCD bytes, code-page bytes, four card bytes). Line (the
// public terminal API) turns typed values into these fields; the Connect_v70
// object turns its callers' texts into them. Each command sends one frame and
// checks its reply as the command requires; `wait` replaces the command's
// usual reply wait.
#ifndef TALLYGATE_LINK_TERMINAL_COMMANDS_H_
#define TALLYGATE_LINK_TERMINAL_COMMANDS_H_

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/protocol/exchange.h"
#include "tallygate/result.h"

namespace tallygate::commands {

using Wait = std::optional<double>;
using CardBytes = std::array<uint8_t, 4>;

// Copies `bytes` into `frame` from `offset` on.
inline void PutField(Bytes& frame, size_t offset, std::span<const uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(offset));
}

// ---- Memory maintenance and storage mode ----
Status ClearFlag(FrameExchange& exchange, uint8_t address, Wait wait = {});
// Then pause 50 ms so the terminal can finish erasing (also after a failure
// to get its answer).
Status ClearRecords(FrameExchange& exchange, uint8_t address, Wait wait = {});
// The same with a 20 ms pause.
Status ClearCardList(FrameExchange& exchange, uint8_t address, Wait wait = {});
Status ChangeAddress(FrameExchange& exchange, uint8_t address, uint8_t new_address,
                     Wait wait = {});
// Sends the frame and waits until it has left the port; whatever the
// terminal answers within 100 ms is discarded.
Status SetStorageMode(FrameExchange& exchange, uint8_t address, uint8_t mode);
Result<uint8_t> StorageMode(FrameExchange& exchange, uint8_t address, Wait wait = {});

// ---- Counts ----
// The record or card-list count (page 0 of kRecordPages or kCardPages). A
// count of 0x8000 or more is kBadReply: the terminal cannot hold it.
Result<int32_t> Count(FrameExchange& exchange, uint8_t address, const CommandSpec& spec,
                      Wait wait = {});

// ---- Cards ----
Status EnrolCard(FrameExchange& exchange, uint8_t address, const CardBytes& card,
                 std::span<const uint8_t, 4> staff, std::span<const uint8_t> name,
                 Wait wait = {});
Status RemoveCard(FrameExchange& exchange, uint8_t address, const CardBytes& card,
                  Wait wait = {});
// True when the card is listed. The echo is not tested: any valid answer
// tells, and three bytes 0xFF mean it is not listed.
Result<bool> FindCard(FrameExchange& exchange, uint8_t address, const CardBytes& card,
                      Wait wait = {});
// The whole 8-byte reply; its byte 2 says a card was read (0x04 or 0x09).
Result<std::array<uint8_t, 8>> ReadCard(FrameExchange& exchange, uint8_t address,
                                        Wait wait = {});
// The stored-record layout: card, YY MM DD hh mm ss (BCD), flag, keep.
Status StoreRecord(FrameExchange& exchange, uint8_t address, std::span<const uint8_t, 4> card,
                   std::span<const uint8_t, 6> time, uint8_t flag, uint8_t keep,
                   Wait wait = {});

// ---- System parameters ----
Result<std::array<uint8_t, 17>> ReadParameters(FrameExchange& exchange, uint8_t address,
                                               Wait wait = {});
// Relay delay (2 bytes), punch interval (high, low), mode word (high, low).
Status WriteParameters(FrameExchange& exchange, uint8_t address,
                       std::span<const uint8_t, 6> fields, Wait wait = {});

// ---- Clock and ring schedules ----
// YY MM DD hh mm ss and the day of the week, each BCD.
Status SetClock(FrameExchange& exchange, uint8_t address, std::span<const uint8_t, 7> fields,
                Wait wait = {});
// The schedule's spec (kRingSchedule1..3) and its ten hh mm pairs in BCD.
Status SetRingSchedule(FrameExchange& exchange, uint8_t address, const CommandSpec& schedule,
                       std::span<const uint8_t, 20> times, Wait wait = {});
// The spec of schedule 1, 2 or 3; kInvalidArgument otherwise.
Result<const CommandSpec*> RingScheduleSpec(int schedule);

// ---- Display, voice and password ----
// These go out on the serial bus whatever the line; the exchange given must
// be the bus's. Message: at most 32 code-page bytes; unsent bytes before it
// are left to go out (they may be the tail of a command that awaits nothing).
Status ShowMessage(FrameExchange& exchange, uint8_t address, uint8_t seconds,
                   std::span<const uint8_t> message, Wait wait = {});
Status PlaySound(FrameExchange& exchange, uint8_t address, uint8_t number, Wait wait = {});
// Four digit values (0 to 9). The terminal answers with the four digits it
// now holds, returned as they came.
Result<std::array<uint8_t, 4>> SetPassword(FrameExchange& exchange, uint8_t address,
                                           std::span<const uint8_t, 4> digits, Wait wait = {});
Result<std::array<uint8_t, 4>> Password(FrameExchange& exchange, uint8_t address, Wait wait = {});

// ---- Start-up picture ----
// The start frame, then the 32 blocks of 16 bytes, each answered (from the
// terminal's address) before the next goes out. Serial bus only.
Status SendPicture(FrameExchange& exchange, uint8_t address,
                   std::span<const std::array<uint8_t, 16>> blocks);

}  // namespace tallygate::commands

#endif  // TALLYGATE_LINK_TERMINAL_COMMANDS_H_
