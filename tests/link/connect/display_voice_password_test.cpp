#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;
using testing::Write;
using testing::kAddressSettings;
using testing::kDataSettings;
using testing::kPlainSettings;


// "中", and its bytes in the code page of a Simplified Chinese system (CP936).
const std::string kZhong = "\xE4\xB8\xAD";
const Bytes kZhongBytes = {0xD6, 0xD0};

std::string Times(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

// A message frame: header, message bytes, zeros to offset 34, check byte.
Bytes MessageFrame(Bytes head_and_message, uint8_t check) {
  head_and_message.resize(35, 0x00);
  head_and_message.push_back(check);
  return head_and_message;
}

// Answers the message from the terminal's address, the voice prompt with a
// valid echo, and the password commands with the digits 0 1 2 3.
Bytes Terminal(uint8_t address, const Bytes& frame) {
  switch (frame[1]) {
    case 0x20: return {address, 0x00, 0x20, 0x00};
    case 0x25: return MakeReply(address, 0x25, {}, 4);
    default: return {0x00, 0x01, 0x02, 0x03};
  }
}

// Answers a password with the digits it was sent.
Bytes PasswordEcho(uint8_t, const Bytes& frame) {
  return Bytes(frame.begin() + 2, frame.begin() + 6);
}

auto Answer(Bytes reply) {
  return [reply](uint8_t, const Bytes&) { return reply; };
}

class DisplayVoicePasswordTest : public testing::ObjectTest {
 protected:
  void SetUp() override {
    UseSerial();
    link_.port().log.clear();
  }

  bool NothingSent() {
    return link_.port().writes.empty() && link_.port().log.empty() && link_.socket().sends.empty();
  }
};

TEST_F(DisplayVoicePasswordTest, MessageFrames) {
  AnswerFrames(link_.port(), Terminal);
  struct Case {
    const char* name;
    int16_t address;
    std::string message;
    Bytes frame;
  };
  Bytes sixteen = {0x23, 0x20, 0x05};
  for (int i = 0; i < 16; ++i)
    sixteen.insert(sixteen.end(), kZhongBytes.begin(), kZhongBytes.end());
  const Case cases[] = {
      {"empty", 1, "", MessageFrame({0x23, 0x20, 0x05}, 0x06)},
      {"16 Chinese characters", 1, Times(kZhong, 16), MessageFrame(sixteen, 0x06)},
      // 0x23^0x20^0x05^0x41^0xD6^0xD0; the address 9 takes no part.
      {"mixed, terminal 9", 9, "A" + kZhong,
       MessageFrame({0x23, 0x20, 0x05, 0x41, 0xD6, 0xD0}, 0x41)},
  };
  for (const Case& c : cases) {
    link_.port().writes.clear();
    link_.port().log.clear();
    EXPECT_TRUE(object_->SendShortMsg(c.address, 5, c.message)) << c.name;
    EXPECT_EQ(link_.port().writes, (std::vector<Write>{{kAddressSettings, {uint8_t(c.address)}},
                                                       {kDataSettings, c.frame}}))
        << c.name;
  }
  // Unsent bytes stay: they may be the tail of a command that awaits nothing.
  EXPECT_EQ(link_.port().log,
            (std::vector<std::string>{"discard-in", "settings " + kAddressSettings,
                                      "settings " + kDataSettings}));
}

TEST_F(DisplayVoicePasswordTest, MessageReplyOnlyItsFirstByteIsTested) {
  const std::pair<Bytes, bool> cases[] = {
      {{0x01, 0xFF, 0xFF, 0xFF}, true},
      {{0x02, 0x00, 0x20, 0x22}, false},
      {{0x00, 0x00, 0x20, 0x20}, false},
  };
  for (const auto& [reply, result] : cases) {
    AnswerFrames(link_.port(), Answer(reply));
    EXPECT_EQ(object_->SendShortMsg(1, 5, "x"), result) << int{reply[0]};
  }
}

TEST_F(DisplayVoicePasswordTest, SoundThreeToTerminalTwo) {
  AnswerFrames(link_.port(), Terminal);
  EXPECT_TRUE(object_->GetSounds(2, 3));
  EXPECT_EQ(link_.port().writes, (std::vector<Write>{{kAddressSettings, {0x02}},
                                                     {kDataSettings, {0x04, 0x25, 0x03, 0x20}}}));
  EXPECT_EQ(link_.port().log,
            (std::vector<std::string>{"discard-in", "discard-out", "settings " + kAddressSettings,
                                      "open", "settings " + kDataSettings}));
}

TEST_F(DisplayVoicePasswordTest, SoundReplyNeedsCheckAndEcho) {
  const std::pair<Bytes, bool> cases[] = {
      {{0x02, 0x00, 0x25, 0x27}, true},
      {{0x02, 0x00, 0x25, 0x26}, false},  // wrong check
      {{0x02, 0x00, 0x24, 0x26}, false},  // wrong echo
      {{0x05, 0x00, 0x25, 0x20}, true},   // byte 0 is not compared
  };
  for (const auto& [reply, result] : cases) {
    AnswerFrames(link_.port(), Answer(reply));
    EXPECT_EQ(object_->GetSounds(2, 3), result) << int{reply[3]};
  }
}

TEST_F(DisplayVoicePasswordTest, MessageAndSoundUseTheSerialPortInTcpMode) {
  UseTcp();
  AnswerFrames(link_.port(), Terminal);
  EXPECT_TRUE(object_->SendShortMsg(1, 5, "Hi"));
  EXPECT_TRUE(object_->GetSounds(2, 3));
  ASSERT_EQ(link_.port().writes.size(), 4u);
  for (const Write& write : link_.port().writes) EXPECT_EQ(write.settings, kPlainSettings);
  EXPECT_TRUE(link_.socket().sends.empty());
}

TEST_F(DisplayVoicePasswordTest, MessagesThatCannotGoOutSendNothing) {
  AnswerFrames(link_.port(), Terminal);
  struct Case {
    const char* name;
    int16_t address;
    int16_t time;
    std::string message;
  };
  const Case cases[] = {
      {"33 bytes", 1, 5, Times(kZhong, 16) + "A"},
      {"34 bytes", 1, 5, Times(kZhong, 17)},
      {"40 letters", 1, 5, std::string(40, 'a')},
      {"not UTF-8", 1, 5, "\xC3("},
      {"address 256", 256, 5, ""},
      {"address -1", -1, 5, ""},
      {"time 256", 1, 256, ""},
      {"time -1", 1, -1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(object_->SendShortMsg(c.address, c.time, c.message)) << c.name;
    EXPECT_TRUE(NothingSent()) << c.name;
  }
}

TEST_F(DisplayVoicePasswordTest, ValuesOutsideAByteSendNothing) {
  AnswerFrames(link_.port(), Terminal);
  EXPECT_FALSE(object_->GetSounds(2, 256));
  EXPECT_FALSE(object_->GetSounds(2, -1));
  EXPECT_FALSE(object_->GetSounds(300, 3));
  EXPECT_FALSE(object_->SetMachinePassword(256, "1234"));
  EXPECT_EQ(object_->GetMachinePassword(300), -1);
  EXPECT_TRUE(NothingSent());
}

TEST_F(DisplayVoicePasswordTest, PasswordsThatAreNotFourDigitsSendNothing) {
  AnswerFrames(link_.port(), PasswordEcho);
  for (const char* password : {"abcd", "", "12a4", "ab1234", "1.5", "-123", "1e3", "&H12", " 12"}) {
    EXPECT_FALSE(object_->SetMachinePassword(1, password)) << password;
    EXPECT_TRUE(NothingSent()) << password;
  }
}

TEST_F(DisplayVoicePasswordTest, PortThatCannotOpenIsAFailure) {
  link_.port().open_error = err::kPortAlreadyOpen;
  EXPECT_FALSE(object_->SendShortMsg(1, 5, ""));
  link_.port().open_error = err::kPortAlreadyOpen;
  EXPECT_EQ(object_->GetMachinePassword(1), -1);
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(DisplayVoicePasswordTest, PasswordDigitsOnTheSerialBus) {
  AnswerFrames(link_.port(), PasswordEcho);
  const std::pair<std::string, Bytes> cases[] = {
      {"7", {0x07, 0xAA, 0, 0, 0, 7, 0xAB}},
      {"12345", {0x07, 0xAA, 2, 3, 4, 5, 0xAC}},
      {"0420", {0x07, 0xAA, 0, 4, 2, 0, 0xAA}},
  };
  for (const auto& [password, frame] : cases) {
    link_.port().writes.clear();
    EXPECT_TRUE(object_->SetMachinePassword(1, password)) << password;
    EXPECT_EQ(link_.port().writes,
              (std::vector<Write>{{kAddressSettings, {0x01}}, {kDataSettings, frame}}))
        << password;
  }
}

TEST_F(DisplayVoicePasswordTest, PasswordReplyMustSpellThePassword) {
  const std::pair<Bytes, bool> cases[] = {
      {{4, 3, 2, 1}, true},
      {{4, 3, 2, 2}, false},
      {{1, 2, 3, 4}, false},
      {{99, 0, 0, 0}, false},  // 99000 does not fit the 16-bit value
  };
  for (const auto& [reply, result] : cases) {
    AnswerFrames(link_.port(), Answer(reply));
    EXPECT_EQ(object_->SetMachinePassword(1, "4321"), result) << int{reply[3]};
  }
}

TEST_F(DisplayVoicePasswordTest, ReadPasswordOnTheSerialBus) {
  AnswerFrames(link_.port(), Terminal);
  EXPECT_EQ(object_->GetMachinePassword(1), 123);
  EXPECT_EQ(link_.port().writes,
            (std::vector<Write>{{kAddressSettings, {0x01}}, {kDataSettings, {0x03, 0xBA, 0xB8}}}));
  const std::pair<Bytes, int> cases[] = {
      {{9, 9, 9, 9}, 9999},
      {{32, 7, 6, 7}, 32767},
      {{32, 7, 6, 8}, -1},
      {{255, 255, 255, 255}, -1},
  };
  for (const auto& [reply, result] : cases) {
    AnswerFrames(link_.port(), Answer(reply));
    EXPECT_EQ(object_->GetMachinePassword(1), result) << result;
  }
}

// Bytes waiting from an earlier command are discarded before sending, so
// they cannot pass for the answer.
TEST_F(DisplayVoicePasswordTest, PasswordsOverTcp) {
  UseTcp();
  AnswerFrames(link_.socket(), PasswordEcho);
  link_.socket().Receive({1, 1, 1, 1});
  EXPECT_TRUE(object_->SetMachinePassword(3, "9876"));
  EXPECT_EQ(link_.socket().sends, (std::vector<Bytes>{{0x03}, {0x07, 0xAA, 9, 8, 7, 6, 0xAE}}));
  EXPECT_EQ(link_.socket().log, (std::vector<std::string>{"discard"}));

  AnswerFrames(link_.socket(), Terminal);
  link_.socket().Receive({5, 5, 5, 5});
  EXPECT_EQ(object_->GetMachinePassword(1), 123);
  EXPECT_EQ(link_.socket().sends.back(), (Bytes{0x03, 0xBA, 0xB8}));
  EXPECT_TRUE(link_.port().writes.empty());

  link_.socket().state = 0;
  link_.socket().sends.clear();
  EXPECT_FALSE(object_->SetMachinePassword(1, "1234"));
  EXPECT_EQ(object_->GetMachinePassword(1), 0);
  EXPECT_TRUE(link_.socket().sends.empty());
}

// Waits the full 3 seconds.
TEST_F(DisplayVoicePasswordTest, ReadPasswordWithoutAnswerIsZero) {
  EXPECT_EQ(object_->GetMachinePassword(1), 0);
  EXPECT_EQ(link_.port().writes.size(), 2u);
}

}  // namespace
}  // namespace tallygate
