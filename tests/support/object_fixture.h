// A Connect_v70 object in a temporary settings folder on a non-Chinese
// system, whose thread link is a recording port and socket.
#ifndef TALLYGATE_TESTS_SUPPORT_OBJECT_FIXTURE_H_
#define TALLYGATE_TESTS_SUPPORT_OBJECT_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

class ObjectTest : public ::testing::Test {
 protected:
  ObjectTest();

  // Serial mode on the recording port, or TCP on the recording socket
  // (connected).
  void UseSerial();
  void UseTcp();

  TempDir home_;
  ScopedEnv home_env_;
  ScopedEnv locale_env_;
  RecordingLink link_;
  std::unique_ptr<Connect_v70> object_;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_OBJECT_FIXTURE_H_
