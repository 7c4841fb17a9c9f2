#include "tests/support/object_fixture.h"

#include <cstdlib>
#include <utility>
#include <vector>

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

namespace {

Bytes Expected(const FrameCase& c, CheckByte check) {
  return check == CheckByte::kAdd ? Sealed(0x01, c.frame) : c.frame;
}

}  // namespace

Bytes Sealed(uint8_t address, Bytes body) {
  uint8_t check = address;
  for (uint8_t b : body) check ^= b;
  body.push_back(check);
  return body;
}

void ObjectTest::ExpectFramesOnTheSerialBus(std::span<const FrameCase> cases,
                                            FrameAnswer terminal, CheckByte check) {
  UseSerial();
  AnswerFrames(link_.port(), std::move(terminal));
  for (const FrameCase& c : cases) {
    link_.port().writes.clear();
    EXPECT_EQ(c.call(*object_), c.result) << c.name;
    EXPECT_EQ(link_.port().writes,
              (std::vector<Write>{{kAddressSettings, {0x01}}, {kDataSettings, Expected(c, check)}}))
        << c.name;
  }
  EXPECT_TRUE(link_.socket().sends.empty());
}

void ObjectTest::ExpectFramesOverTcp(std::span<const FrameCase> cases, FrameAnswer terminal,
                                     CheckByte check) {
  UseTcp();
  AnswerFrames(link_.socket(), std::move(terminal));
  for (const FrameCase& c : cases) {
    link_.socket().sends.clear();
    EXPECT_EQ(c.call(*object_), c.result) << c.name;
    EXPECT_EQ(link_.socket().sends, (std::vector<Bytes>{{0x01}, Expected(c, check)})) << c.name;
  }
  EXPECT_TRUE(link_.port().writes.empty());
}

}  // namespace tallygate::testing
