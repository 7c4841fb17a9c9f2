// The object's life: creation, end, version, transport mode, the serial
// port's SetPort and DestoryPort, and the about box.
#include <string>

#include "link/connect/connect_v70_state.h"
#include "link/connect/library_paths.h"
#include "link/connect/settings_file.h"
#include "tallygate/code_tables.h"
#include "link/text/locale_class.h"
#include "tallygate/host.h"
#include "tallygate_version.h"

namespace tallygate {
namespace {

constexpr const char* kVersion = "V" TALLYGATE_VERSION " (TALLYGATE for Linux, 2025-2026)";
constexpr const char* kVersionComment =
    "TALLYGATE_V70 " TALLYGATE_VERSION ": link library for attendance and access-control terminals";
constexpr const char* kAboutSecondLabel = "Copyright (C) 2025-2026 TALLYGATE";

constexpr const char* kInitFailedText = "Class initialize failed Becaus the Port already opened.";
constexpr const char* kInitFailedTitle = "Err:TALLYGATE_v70.dll";
constexpr const char* kMessageTitle = "TALLYGATE_v70";

constexpr const char* kSerialAddressSettings = "19200,n,8,2";
constexpr const char* kSerialDataSettings = "19200,s,8,1";
constexpr const char* kTcpSettings = "19200,n,8,1";

void ShowInitFailed() {
  host::MessageBox(kInitFailedTitle, kInitFailedText, TG_MB_OK | TG_MB_ICON_CRITICAL);
}

// Loads "rm.txt" once per process. False when it is missing (the caller was
// told); an oversized file throws to the creator.
bool LoadTablesOnce() {
  if (CodeTablesLoaded()) return true;
  const std::filesystem::path file = TablesFolder() / kTablesFileName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    host::MessageBox(kMessageTitle, "File not find:" + file.string(), TG_MB_OK);
    return false;
  }
  EnsureCodeTablesLoaded(file);
  return true;
}

// Closes the thread's port and applies TallySystem.ini, or writes a default
// one. Failures show the message box; a bad file is deleted so that the next
// object writes a fresh one.
void SetUpSerialPort(SerialPort& port) {
  const std::filesystem::path file = SettingsFolder() / kSettingsFileName;
  std::error_code ec;
  try {
    if (port.PortOpen()) port.SetPortOpen(false);
    if (!std::filesystem::exists(file, ec)) {
      ApplyDefaultSettings(port);
      WriteDefaultSettings(file);
      return;
    }
  } catch (const BasicError&) {
    ShowInitFailed();
    return;
  }
  try {
    ApplySettingsFile(file, port);
  } catch (const BasicError&) {
    std::filesystem::remove(file, ec);
    ShowInitFailed();
  }
}

}  // namespace

Connect_v70::Connect_v70() : state_(std::make_unique<State>(ThreadLink::Current())) {
  state_->ver = kVersion;
  state_->locale_class = GetLocaleClass();
  if (state_->locale_class == 2 && !LoadTablesOnce()) return;

  // An object made from a host event while another call of this thread waits
  // must not close the port under that call or change its line settings.
  if (state_->link.Busy()) return;
  Mode(0);
  SetUpSerialPort(state_->link.Port());
}

Connect_v70::~Connect_v70() {
  if (state_->link.Busy()) return;
  try {
    SerialPort& port = state_->link.Port();
    if (port.PortOpen()) port.SetPortOpen(false);
  } catch (const BasicError&) {
    // Nothing to tell: the object is going.
  }
}

std::string Connect_v70::Ver() const { return state_->ver; }
void Connect_v70::Ver(const std::string& value) { state_->ver = value; }

int16_t Connect_v70::Mode() const { return state_->mode; }

void Connect_v70::Mode(int16_t value) {
  if (value != 0 && value != 1) return;
  if (state_->link.Busy()) return;
  state_->mode = value;
  state_->link.address_settings = value == 0 ? kSerialAddressSettings : kTcpSettings;
  state_->link.data_settings = value == 0 ? kSerialDataSettings : kTcpSettings;
}

bool Connect_v70::SetPort(int16_t intCom) {
  if (state_->mode != 0) {
    if (state_->ip.empty() || state_->tcp_port == 0) return false;
    return Connect_Net(state_->ip, state_->tcp_port);
  }
  return RunCall(*state_, false, [&](bool& result) {
    if (intCom < 1 || intCom > 16) return;
    SerialPort& port = state_->link.Port();
    if (port.PortOpen()) port.SetPortOpen(false);
    port.SetCommPort(intCom);
    port.SetPortOpen(true);
    RewriteComPort(SettingsFolder() / kSettingsFileName, intCom);
    result = true;
  });
}

bool Connect_v70::DestoryPort() {
  if (state_->mode != 0) return Disconnect_Net();
  return RunCall(*state_, false, [&](bool& result) {
    SerialPort& port = state_->link.Port();
    if (port.PortOpen()) port.SetPortOpen(false);
    result = !port.PortOpen();
  });
}

void Connect_v70::ShowAbout() {
  RunCall(*state_, 0, [&](int&) { host::ShowAbout("About...", kVersionComment, kAboutSecondLabel); });
}

}  // namespace tallygate
