// TallySystem.ini as found beside the library: applied to a serial port at
// object creation, and rewritten with a new COM port by SetPort.
//
// The port is never opened: applying the file only sets properties. A file
// the rewrite accepts must come back as its first six lines with line 5
// replaced, nothing else changed.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "link/connect/settings_file.h"
#include "link/transport/termios_port.h"
#include "link/connect/text_file.h"
#include "tallygate/basic_error.h"

namespace {

using tallygate::fuzz::Require;

constexpr int16_t kNewComPort = 7;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path file = tallygate::fuzz::WriteScratchFile("TallySystem.ini", data, size);

  tallygate::TermiosPort port;
  tallygate::ApplyDefaultSettings(port);
  try {
    tallygate::ApplySettingsFile(file, port);
  } catch (const tallygate::BasicError&) {
  }
  Require(!port.PortOpen(), "reading the settings opens no port");

  const std::vector<std::string> before = tallygate::ReadTextLines(file);
  try {
    tallygate::RewriteComPort(file, kNewComPort);
  } catch (const tallygate::BasicError&) {
    Require(before.size() < 6, "only a file of fewer than six lines is refused");
    return 0;
  }
  const std::vector<std::string> after = tallygate::ReadTextLines(file);
  Require(after.size() == 6, "the rewritten file has six lines");
  for (size_t i = 0; i < 6; ++i) {
    Require(after[i] == (i == 4 ? std::to_string(kNewComPort) : before[i]),
            "the rewrite changes line 5 only");
  }
  return 0;
}
