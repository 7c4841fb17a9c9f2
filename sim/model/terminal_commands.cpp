#include "sim/model/terminal_commands.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "link/protocol/command_table.h"
#include "sim/model/handlers.h"

namespace tallygate::sim {
namespace {

// A row from the library's command table: the code and the FrameLength byte
// (for the message, the byte says 35 and 36 go out; see wire_shape.h).
constexpr CommandInfo Row(const CommandSpec& spec, std::string_view name, Handler handler) {
  return {spec.code, name, spec.frame_length, spec.reply_length, handler};
}

constexpr std::array<CommandInfo, 25> kCommands{{
    Row(command::kClearFlag, "ClearFlag", handlers::ClearFlag),
    Row(command::kClearRecord, "ClearRecord", handlers::ClearRecord),
    Row(command::kRepairAddress, "RepairAddress", handlers::RepairAddress),
    Row(command::kModifyDateTime, "ModifyDateTime", handlers::ModifyDateTime),
    Row(command::kRepairSystemParameter, "RepairSystemParameter", handlers::RepairSystemParameter),
    Row(command::kCardSendToMachine, "CardSendToMachine", handlers::CardSendToMachine),
    Row(command::kReadCardNum, "ReadCardNum", handlers::ReadCardNum),
    Row(command::kClearNameList, "ClearNameList", handlers::ClearNameList),
    Row(command::kClearName, "ClearName", handlers::ClearName),
    Row(command::kRingSchedule1, "SetClock1", handlers::SetRingSchedule),
    Row(command::kReadSystemParameter, "ReadSystemParameter", handlers::ReadSystemParameter),
    Row(command::kSendRecordToMachine, "SendRecordToMachine", handlers::SendRecordToMachine),
    Row(command::kFindCard, "FindCard", handlers::FindCard),
    Row(command::kRingSchedule2, "SetClock2", handlers::SetRingSchedule),
    Row(command::kShowMessage, "SendShortMsg", handlers::ShowMessage),
    Row(command::kPlaySound, "GetSounds", handlers::PlaySound),
    Row(command::kRingSchedule3, "SetClock3", handlers::SetRingSchedule),
    Row(command::kPictureStart, "PictureStart", handlers::PictureStart),
    Row(command::kSetStorageModel, "SetStorageModel", handlers::SetStorageModel),
    Row(command::kPictureData, "PictureData", handlers::PictureData),
    Row(command::kGetStorageModel, "GetStorageModel", handlers::GetStorageModel),
    Row(command::kSetPassword, "SetMachinePassword", handlers::SetPassword),
    Row(command::kGetPassword, "GetMachinePassword", handlers::GetPassword),
    Row(command::kRecordPages, "GatherRecordSum", handlers::RecordPage),
    Row(command::kCardPages, "GatherSendCardSum", handlers::CardPage),
}};

constexpr bool InCodeOrder() {
  for (size_t i = 1; i < kCommands.size(); ++i) {
    if (kCommands[i - 1].code >= kCommands[i].code) return false;
  }
  return true;
}
static_assert(InCodeOrder(), "AllCommands() promises code order");

struct Alias {
  std::string_view name;
  std::array<uint8_t, 3> codes;
  size_t count;
};

constexpr std::array<uint8_t, 3> kRingScheduleCodes{
    command::kRingSchedule1.code, command::kRingSchedule2.code, command::kRingSchedule3.code};

constexpr std::array<Alias, 5> kAliases{{
    {"SetClock", kRingScheduleCodes, 3},
    {"SetClockStr", kRingScheduleCodes, 3},
    {"SendPictureMach", {command::kPictureStart.code, command::kPictureData.code, 0}, 2},
    {"GatherData", {command::kRecordPages.code, 0, 0}, 1},
    {"GatherSendCardData", {command::kCardPages.code, 0, 0}, 1},
}};

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::span<const CommandInfo> AllCommands() { return kCommands; }

const CommandInfo* FindCommand(uint8_t code) {
  for (const CommandInfo& info : kCommands) {
    if (info.code == code) return &info;
  }
  return nullptr;
}

std::string_view CommandName(uint8_t code) {
  const CommandInfo* info = FindCommand(code);
  return info != nullptr ? info->name : "unknown";
}

std::vector<uint8_t> CodesNamed(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (SameName(info.name, name)) return {info.code};
  }
  for (const Alias& alias : kAliases) {
    if (SameName(alias.name, name)) return {alias.codes.begin(), alias.codes.begin() + alias.count};
  }
  return {};
}

}  // namespace tallygate::sim
