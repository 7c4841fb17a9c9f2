// A Connect_v70 object in a temporary settings folder on a non-Chinese
// system, whose thread link is a recording port and socket.
#ifndef TALLYGATE_TESTS_SUPPORT_OBJECT_FIXTURE_H_
#define TALLYGATE_TESTS_SUPPORT_OBJECT_FIXTURE_H_

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "tallygate/connect_v70.h"
#include "tests/support/recording_port.h"
#include "tests/support/temp_dir.h"

namespace tallygate::testing {

// Sets an environment variable for the object's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// `body` followed by its check byte for terminal `address`. Written out here
// rather than taken from the library, so that a wrong check byte there fails.
Bytes Sealed(uint8_t address, Bytes body);

// One command call at address 1: what it must return and the frame it must
// send after the address byte.
struct FrameCase {
  const char* name;
  std::function<int(Connect_v70&)> call;
  Bytes frame;
  int result = 1;
};

// Whether a case's frame holds its check byte or the check wants it added.
enum class CheckByte { kInFrame, kAdd };

class ObjectTest : public ::testing::Test {
 protected:
  ObjectTest();

  // Serial mode on the recording port, or TCP on the recording socket
  // (connected).
  void UseSerial();
  void UseTcp();

  // Makes every call of `cases` with `terminal` answering, on the serial bus
  // or over TCP, and checks each result and the writes: the address byte
  // 0x01, then the frame, each with its line settings on the bus.
  void ExpectFramesOnTheSerialBus(std::span<const FrameCase> cases, FrameAnswer terminal,
                                  CheckByte check);
  void ExpectFramesOverTcp(std::span<const FrameCase> cases, FrameAnswer terminal,
                           CheckByte check);

  TempDir home_;
  ScopedEnv home_env_;
  ScopedEnv locale_env_;
  RecordingLink link_;
  std::unique_ptr<Connect_v70> object_;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_OBJECT_FIXTURE_H_
