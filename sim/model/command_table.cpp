#include "sim/model/command_table.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "sim/model/handlers.h"

namespace tallygate::sim {
namespace {

constexpr std::array<CommandInfo, 25> kCommands{{
    {0x02, "ClearFlag", 3, handlers::ClearFlag},
    {0x06, "ClearRecord", 3, handlers::ClearRecord},
    {0x07, "RepairAddress", 5, handlers::RepairAddress},
    {0x08, "ModifyDateTime", 10, handlers::ModifyDateTime},
    {0x09, "RepairSystemParameter", 9, handlers::RepairSystemParameter},
    {0x0A, "CardSendToMachine", 19, handlers::CardSendToMachine},
    {0x0B, "ReadCardNum", 3, handlers::ReadCardNum},
    {0x0C, "ClearNameList", 3, handlers::ClearNameList},
    {0x0D, "ClearName", 7, handlers::ClearName},
    {0x0E, "SetClock1", 23, handlers::SetRingSchedule},
    {0x19, "ReadSystemParameter", 3, handlers::ReadSystemParameter},
    {0x1A, "SendRecordToMachine", 15, handlers::SendRecordToMachine},
    {0x1D, "FindCard", 7, handlers::FindCard},
    {0x1E, "SetClock2", 23, handlers::SetRingSchedule},
    {0x20, "SendShortMsg", 35, handlers::ShowMessage},
    {0x25, "GetSounds", 4, handlers::PlaySound},
    {0x2E, "SetClock3", 23, handlers::SetRingSchedule},
    {0x40, "PictureStart", 4, handlers::PictureStart},
    {0x44, "SetStorageModel", 4, handlers::SetStorageModel},
    {0x55, "PictureData", 19, handlers::PictureData},
    {0x66, "GetStorageModel", 3, handlers::GetStorageModel},
    {0xAA, "SetMachinePassword", 7, handlers::SetPassword},
    {0xBA, "GetMachinePassword", 3, handlers::GetPassword},
    {0xBB, "GatherRecordSum", 4, handlers::RecordPage},
    {0xCC, "GatherSendCardSum", 4, handlers::CardPage},
}};

struct Alias {
  std::string_view name;
  std::array<uint8_t, 3> codes;
  size_t count;
};

constexpr std::array<Alias, 5> kAliases{{
    {"SetClock", {0x0E, 0x1E, 0x2E}, 3},
    {"SetClockStr", {0x0E, 0x1E, 0x2E}, 3},
    {"SendPictureMach", {0x40, 0x55, 0}, 2},
    {"GatherData", {0xBB, 0, 0}, 1},
    {"GatherSendCardData", {0xCC, 0, 0}, 1},
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
