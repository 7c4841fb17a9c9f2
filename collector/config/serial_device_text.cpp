#include "collector/config/serial_device_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "collector/base/failure.h"

namespace tallygate::collector {

namespace {

constexpr int kLastComPort = 255;

// The digits of "COM3", "com3" or "3"; nullopt when the text has another form.
std::optional<std::string_view> ComDigits(std::string_view device) {
  if (device.size() > 3 && std::equal(device.begin(), device.begin() + 3, "COM",
                                      [](char a, char b) {
                                        return std::toupper(static_cast<unsigned char>(a)) == b;
                                      })) {
    device.remove_prefix(3);
  }
  if (device.empty() || device.size() > 4 ||
      !std::all_of(device.begin(), device.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return device;
}

}  // namespace

std::optional<int> ComPortNumber(std::string_view device) {
  const std::optional<std::string_view> digits = ComDigits(device);
  if (!digits) return std::nullopt;
  int number = 0;
  std::from_chars(digits->data(), digits->data() + digits->size(), number);
  if (number < 1 || number > kLastComPort) return std::nullopt;
  return number;
}

std::string CheckSerialDevice(std::string_view device) {
  if (ComPortNumber(device)) return std::string(device);
  if (ComDigits(device)) {
    throw InputError("COM ports are COM1 to COM" + std::to_string(kLastComPort));
  }
  if (device.empty() || device.front() != '/') {
    throw InputError("'" + std::string(device) +
                     "' is neither a device path such as \"/dev/ttyUSB0\" nor a COM "
                     "port such as \"COM3\" or \"3\"");
  }
  return std::string(device);
}

}  // namespace tallygate::collector
