#include "link/transport/serial_device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>

namespace tallygate {
namespace {

struct DeviceCase {
  const char* label;
  int16_t com;
  // Environment before the call: variable name and value, nullopt to unset.
  const char* variable;
  std::optional<std::string> value;
  std::string expected;
};

void PrintTo(const DeviceCase& c, std::ostream* out) { *out << c.label; }

class SerialDevicePathTest : public ::testing::TestWithParam<DeviceCase> {
 protected:
  void TearDown() override {
    for (int n = 0; n <= 20; ++n) unsetenv(("TALLYGATE_COM" + std::to_string(n)).c_str());
  }
};

TEST_P(SerialDevicePathTest, NamesTheDevice) {
  const DeviceCase& c = GetParam();
  if (c.value) {
    ASSERT_EQ(setenv(c.variable, c.value->c_str(), 1), 0);
  } else {
    unsetenv(c.variable);
  }
  EXPECT_EQ(SerialDevicePath(c.com), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialDevicePathTest,
    ::testing::Values(
        DeviceCase{"EnvSet", 3, "TALLYGATE_COM3", "/dev/ttyUSB0", "/dev/ttyUSB0"},
        DeviceCase{"EnvEmpty", 3, "TALLYGATE_COM3", "", "/dev/ttyS2"},
        DeviceCase{"EnvUnset", 3, "TALLYGATE_COM3", std::nullopt, "/dev/ttyS2"},
        DeviceCase{"FirstPort", 1, "TALLYGATE_COM1", std::nullopt, "/dev/ttyS0"},
        DeviceCase{"TwoDigits", 16, "TALLYGATE_COM16", std::nullopt, "/dev/ttyS15"},
        DeviceCase{"TwoDigitsFromEnv", 12, "TALLYGATE_COM12", "/dev/pts/7", "/dev/pts/7"},
        // Another port's variable is not this port's: COM1's does not name COM11.
        DeviceCase{"OtherPortsVariable", 11, "TALLYGATE_COM1", "/dev/ttyUSB1", "/dev/ttyS10"},
        DeviceCase{"NoSuchPortNumber", 0, "TALLYGATE_COM0", "/dev/ttyUSB0", ""},
        DeviceCase{"NegativePortNumber", -1, "TALLYGATE_COM-1", std::nullopt, ""}),
    [](const ::testing::TestParamInfo<DeviceCase>& param) {
      return std::string(param.param.label);
    });

}  // namespace
}  // namespace tallygate
