// TallySystem.ini: six plain lines, no keys or sections, that set up the
// serial port when an object is created.
//
//   1  "coninputmodebinary" (input mode 1) or "coninputmodetext" (0); any
//      other text leaves the input mode as it is
//   2  line settings, "19200,n,8,1"
//   3  receive buffer size        lines 3 to 6 are read as numbers: the
//   4  transmit buffer size       leading numeric part, blanks skipped,
//   5  COM port number            rounded half to even; outside the 16-bit
//   6  bytes one read takes       range the file is bad
#ifndef TALLYGATE_LINK_CONNECT_SETTINGS_FILE_H_
#define TALLYGATE_LINK_CONNECT_SETTINGS_FILE_H_

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "link/transport/serial_port.h"

namespace tallygate {

inline const std::array<std::string, 6> kDefaultSettingsLines = {
    "coninputmodebinary", "19200,n,8,1", "2048", "512", "2", "0"};

// Applies the defaults to the port: binary input, "19200,n,8,1", buffers of
// 2048 and 512 bytes, COM1, reads take all waiting bytes. (The default file
// names COM2: the first object of a fresh installation uses port 1.)
void ApplyDefaultSettings(SerialPort& port);

// Writes the six default lines.
void WriteDefaultSettings(const std::filesystem::path& file);

// Reads the file's six lines and applies each to the port in order. Throws
// BasicError for a file of fewer than six lines, a number out of range or a
// value the port refuses; the lines before the bad one stay applied.
void ApplySettingsFile(const std::filesystem::path& file, SerialPort& port);

// Rewrites the file with `com_port` as line 5, keeping lines 1 to 4 and 6 as
// they were; further lines are dropped.
void RewriteComPort(const std::filesystem::path& file, int16_t com_port);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_SETTINGS_FILE_H_
