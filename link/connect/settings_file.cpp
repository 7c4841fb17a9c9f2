#include "link/connect/settings_file.h"

#include <vector>

#include "link/connect/text_file.h"
#include "tallygate/basic_convert.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

// The settings file is never longer than this when SetPort rewrites it.
constexpr std::size_t kMaxLinesRead = 301;

int16_t NumericLine(const std::string& line) { return RoundToInt16(Val(line)); }

}  // namespace

void ApplyDefaultSettings(SerialPort& port) {
  port.SetInputMode(1);
  port.SetSettings("19200,n,8,1");
  port.SetInBufferSize(2048);
  port.SetOutBufferSize(512);
  port.SetCommPort(1);
  port.SetInputLen(0);
}

void WriteDefaultSettings(const std::filesystem::path& file) {
  WriteTextLines(file, std::vector<std::string>(kDefaultSettingsLines.begin(),
                                                kDefaultSettingsLines.end()));
}

void ApplySettingsFile(const std::filesystem::path& file, SerialPort& port) {
  const std::vector<std::string> lines = ReadTextLines(file, 6);
  if (lines.size() < 6) throw BasicError(err::kInputPastEndOfFile);
  if (lines[0] == "coninputmodebinary") {
    port.SetInputMode(1);
  } else if (lines[0] == "coninputmodetext") {
    port.SetInputMode(0);
  }
  port.SetSettings(lines[1]);
  port.SetInBufferSize(NumericLine(lines[2]));
  port.SetOutBufferSize(NumericLine(lines[3]));
  port.SetCommPort(NumericLine(lines[4]));
  port.SetInputLen(NumericLine(lines[5]));
}

void RewriteComPort(const std::filesystem::path& file, int16_t com_port) {
  std::vector<std::string> lines = ReadTextLines(file, kMaxLinesRead);
  if (lines.size() < 6) throw BasicError(err::kSubscriptOutOfRange);
  lines.resize(6);
  lines[4] = std::to_string(com_port);
  WriteTextLines(file, lines);
}

}  // namespace tallygate
