#include "tests/support/object_fixture.h"

#include <cstdlib>

namespace tallygate::testing {

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ObjectTest::ObjectTest()
    : home_env_("TALLYGATE_HOME", home_.path().string()),
      locale_env_("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8"),
      object_(std::make_unique<Connect_v70>()) {}

void ObjectTest::UseSerial() { object_->Mode(0); }

void ObjectTest::UseTcp() {
  object_->Mode(1);
  link_.socket().state = 7;
}

}  // namespace tallygate::testing
