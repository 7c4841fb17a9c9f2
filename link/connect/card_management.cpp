// Card management: enrolling, removing and finding cards, reading the card at
// the terminal's reader, and writing single attendance records.
#include <span>
#include <string>

#include "link/connect/connect_v70_state.h"
#include "link/connect/text_encodings.h"
#include "link/protocol/hex_text.h"
#include "link/text/char_map.h"
#include "link/text/code_page.h"
#include "link/text/locale_class.h"

namespace tallygate {
namespace {

constexpr size_t kHexDigits = 8;  // a card or staff number as hexadecimal text

// Terminals keep names in GB2312. A Traditional-Chinese system's names are
// Big5, mapped code by code; mapping bytes rather than text keeps the GB
// codes that have no Big5 character.
Bytes NameBytes(const std::string& name, int16_t locale_class) {
  Bytes bytes = EncodeText(name, SystemCodePage(locale_class));
  if (locale_class == kLocaleTraditionalChinese) bytes = MapBig5BytesToGb(bytes);
  return bytes;
}

std::array<uint8_t, 4> FourBytes(const std::vector<uint8_t>& bytes) {
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

}  // namespace

bool Connect_v70::CardSendToMachine(int16_t varAddr, const std::string& strPhyCard,
                                    const std::string& strCardID, const std::string& strName,
                                    int16_t /*WeekFlag*/, const std::string& /*TimeSect*/) {
  return RunCall(*state_, false, [&](bool& result) {
    const Bytes name = NameBytes(strName, state_->locale_class);
    // A longer name is refused whole before anything else is converted.
    if (name.size() > 8) return;
    const commands::CardBytes card = DecimalCardBytes(strPhyCard);
    const auto staff = FourBytes(LenientHexPairs(FillLeft(strCardID, kHexDigits), 4));
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    result = commands::EnrolCard(line.exchange(), address, card, staff, name).ok();
  });
}

bool Connect_v70::SendRecordToMachine(int16_t varAddr, const std::string& PhyNum,
                                      const std::string& DateTime, const std::string& FlagByte,
                                      const std::string& KeepByte) {
  return RunCall(*state_, false, [&](bool& result) {
    const auto card = FourBytes(LenientHexPairs(FillLeft(PhyNum, kHexDigits), 4));
    const std::vector<uint8_t> time = LenientHexPairs(DateTime, 6);
    const uint8_t flag = LenientHexByte(FlagByte);
    const uint8_t keep = LenientHexByte(KeepByte);
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    result = commands::StoreRecord(line.exchange(), address, card,
                                   std::span<const uint8_t, 6>(time.data(), 6), flag, keep)
                 .ok();
  });
}

bool Connect_v70::ClearName(int16_t varAddr, const std::string& PhyNum) {
  return RunCall(*state_, false, [&](bool& result) {
    const commands::CardBytes card = DecimalCardBytes(PhyNum);
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    result = commands::RemoveCard(line.exchange(), address, card).ok();
  });
}

bool Connect_v70::FindCard(int16_t varAddr, const std::string& PhyNum, bool& CardYN) {
  CardYN = false;
  return RunCall(*state_, false, [&](bool& result) {
    const commands::CardBytes card = DecimalCardBytes(PhyNum);
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    const Result<bool> listed = commands::FindCard(line.exchange(), address, card);
    if (!listed) return;
    CardYN = *listed;
    result = true;
  });
}

std::string Connect_v70::ReadCardNum(int16_t varAddr, std::string& AllStr) {
  AllStr.clear();
  return RunCall(*state_, std::string(), [&](std::string& result) {
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    const auto reply = commands::ReadCard(line.exchange(), address);
    if (!reply) return;
    const auto& r = *reply;
    // Signed, so that the number travels back to the same four bytes through
    // the decimal card texts of the other commands.
    const auto number = static_cast<int32_t>(uint32_t{r[3]} << 24 | uint32_t{r[4]} << 16 |
                                             uint32_t{r[5]} << 8 | uint32_t{r[6]});
    result = std::to_string(number);
    AllStr = BytesToHex(r);
  });
}

}  // namespace tallygate
