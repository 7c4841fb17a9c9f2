// System parameters: reading the terminal's parameter block, and writing the
// relay delay, punch interval and mode word.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "link/protocol/hex_text.h"
#include "tallygate/basic_convert.h"

namespace tallygate {
namespace {

// Piece `index` (0 or 1) of a parameter text: two characters, or fewer at
// its end. A non-ASCII character cannot form a valid piece, so cutting by
// bytes fails exactly where cutting by characters would.
std::string_view Piece(std::string_view text, size_t index) {
  return text.substr(std::min(2 * index, text.size()), 2);
}

// The relay delay is sent as plain byte values, not BCD. Digits only, as
// the other pieces: a sign, blank or decimal point is a mistyped delay.
uint8_t DecimalPiece(std::string_view piece) {
  const bool digits = !piece.empty() && std::all_of(piece.begin(), piece.end(),
                                                    [](char c) { return c >= '0' && c <= '9'; });
  const std::optional<double> value = digits ? ParseNumber(piece) : std::nullopt;
  if (!value) throw BasicError(err::kTypeMismatch);
  return RoundToByte(*value);
}

}  // namespace

bool Connect_v70::ReadSystemParameter(int16_t varAddr, std::string& BackString) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    const auto reply = commands::ReadParameters(line.exchange(), address);
    if (!reply) return;
    BackString = BytesToHex(*reply);
    result = true;
  });
}

bool Connect_v70::RepairSystemParameter(int16_t varAddr, const std::string& JDYS,
                                        const std::string& DKYS, const std::string& TZZ) {
  return RunCall(*state_, false, [&](bool& result) {
    const std::array<uint8_t, 6> fields{
        DecimalPiece(Piece(JDYS, 0)), DecimalPiece(Piece(JDYS, 1)), StrictHexByte(Piece(DKYS, 0)),
        StrictHexByte(Piece(DKYS, 1)), StrictHexByte(Piece(TZZ, 0)), StrictHexByte(Piece(TZZ, 1))};
    const uint8_t address = ToByte(varAddr);
    CallLine line(*state_);
    result = commands::WriteParameters(line.exchange(), address, fields).ok();
  });
}

}  // namespace tallygate
