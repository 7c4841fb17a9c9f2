// Card management: enrolling, removing and finding cards, reading the card at
// the terminal's reader, and writing single attendance records.
#include <algorithm>
#include <span>
#include <string>

#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "link/text/char_map.h"
#include "link/text/code_page.h"
#include "link/protocol/hex_text.h"
#include "link/text/locale_class.h"

namespace tallygate {
namespace {

constexpr size_t kCardOffset = 2;
constexpr size_t kStaffOffset = 6;
constexpr size_t kNameOffset = 10;
constexpr size_t kNameBytes = 8;
constexpr size_t kHexDigits = 8;  // a card or staff number as hexadecimal text

// Terminals keep names in GB2312. A Traditional-Chinese system's names are
// Big5, mapped code by code; mapping bytes rather than text keeps the GB
// codes that have no Big5 character.
Bytes NameBytes(const std::string& name, int16_t locale_class) {
  Bytes bytes = EncodeText(name, SystemCodePage(locale_class));
  if (locale_class == kLocaleTraditionalChinese) bytes = MapBig5BytesToGb(bytes);
  return bytes;
}

void Put(Bytes& frame, size_t offset, std::span<const uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A frame carrying one card number, given as decimal text.
Bytes CardFrame(const CommandSpec& spec, const std::string& decimal_card) {
  Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
  Put(frame, kCardOffset, DecimalCardBytes(decimal_card));
  return frame;
}

bool ExchangeEchoed(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                    Bytes& frame, Bytes& reply) {
  return state.Exchange().Exchange(ToByte(varAddr), spec, frame, reply) && reply[2] == spec.code;
}

bool FindOrClear(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                 const std::string& PhyNum, Bytes& reply) {
  Bytes frame = CardFrame(spec, PhyNum);
  return state.Exchange().Exchange(ToByte(varAddr), spec, frame, reply);
}

}  // namespace

bool Connect_v70::CardSendToMachine(int16_t varAddr, const std::string& strPhyCard,
                                    const std::string& strCardID, const std::string& strName,
                                    int16_t /*WeekFlag*/, const std::string& /*TimeSect*/) {
  return RunCall(*state_, false, [&](bool& result) {
    const Bytes name = NameBytes(strName, state_->locale_class);
    // A longer name would lose bytes to the check byte, half a Chinese
    // character among them: it is refused whole.
    if (name.size() > kNameBytes) return;
    const CommandSpec& spec = command::kCardSendToMachine;
    Bytes frame = CardFrame(spec, strPhyCard);
    Put(frame, kStaffOffset, LenientHexPairs(FillLeft(strCardID, kHexDigits), 4));
    Put(frame, kNameOffset, name);
    Bytes reply;
    result = ExchangeEchoed(*state_, varAddr, spec, frame, reply);
  });
}

bool Connect_v70::SendRecordToMachine(int16_t varAddr, const std::string& PhyNum,
                                      const std::string& DateTime, const std::string& FlagByte,
                                      const std::string& KeepByte) {
  return RunCall(*state_, false, [&](bool& result) {
    const CommandSpec& spec = command::kSendRecordToMachine;
    Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
    // The stored-record layout: card, YY MM DD hh mm ss, flag byte, keep byte.
    Put(frame, 2, LenientHexPairs(FillLeft(PhyNum, kHexDigits), 4));
    Put(frame, 6, LenientHexPairs(DateTime, 6));
    frame[12] = LenientHexByte(FlagByte);
    frame[13] = LenientHexByte(KeepByte);
    Bytes reply;
    result = state_->Exchange().Exchange(ToByte(varAddr), spec, frame, reply);
  });
}

bool Connect_v70::ClearName(int16_t varAddr, const std::string& PhyNum) {
  return RunCall(*state_, false, [&](bool& result) {
    Bytes reply;
    result = FindOrClear(*state_, varAddr, command::kClearName, PhyNum, reply) &&
             reply[2] == command::kClearName.code;
  });
}

bool Connect_v70::FindCard(int16_t varAddr, const std::string& PhyNum, bool& CardYN) {
  CardYN = false;
  return RunCall(*state_, false, [&](bool& result) {
    Bytes reply;
    if (!FindOrClear(*state_, varAddr, command::kFindCard, PhyNum, reply)) return;
    // The echo is not tested: any valid answer tells whether the card is
    // listed, and all three bytes 0xFF mean it is not.
    CardYN = !(reply[3] == 0xFF && reply[4] == 0xFF && reply[5] == 0xFF);
    result = true;
  });
}

std::string Connect_v70::ReadCardNum(int16_t varAddr, std::string& AllStr) {
  AllStr.clear();
  return RunCall(*state_, std::string(), [&](std::string& result) {
    const CommandSpec& spec = command::kReadCardNum;
    Bytes frame = MakeFrame(spec.code);
    Bytes reply;
    if (!state_->Exchange().Exchange(ToByte(varAddr), spec, frame, reply)) return;
    const uint8_t kind = reply[2];
    if (kind != 0x04 && kind != 0x09) return;
    // Signed, so that the number travels back to the same four bytes through
    // the decimal card texts of the other commands.
    const auto number = static_cast<int32_t>(uint32_t{reply[3]} << 24 | uint32_t{reply[4]} << 16 |
                                             uint32_t{reply[5]} << 8 | uint32_t{reply[6]});
    result = std::to_string(number);
    AllStr =
        BytesToHex(std::span<const uint8_t>(reply).first(static_cast<size_t>(spec.reply_length)));
  });
}

}  // namespace tallygate
