// Display message, voice prompt, keypad password and start-up picture
// through the library against the simulated terminal. Message, voice and
// picture use the serial bus whatever the mode: the Tcp instances run them
// in Mode 1 with the serial port open too, and they still reach the
// terminal over the pseudo-terminal. The password commands use the
// connection in Mode 1.
#include <cstdio>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "tests/e2e/sim_link.h"

namespace tallygate::testing {
namespace {

class DisplayAndKeypad : public SimLinkTest {
 protected:
  // The status lines of the picture shown, without their indentation.
  std::vector<std::string> ShownPicture() {
    const std::vector<std::string> status = Status();
    std::vector<std::string> picture;
    for (size_t i = 0; i < status.size(); ++i) {
      if (status[i] != "  picture") continue;
      for (size_t k = i + 1; k < status.size() && status[k].starts_with("    "); ++k) {
        picture.push_back(status[k].substr(4));
      }
    }
    return picture;
  }
};

TEST_P(DisplayAndKeypad, SendShortMsgShowsTheMessage) {
  ASSERT_STARTED(Start());
  ASSERT_NO_FATAL_FAILURE(OpenSerialPortToo());
  EXPECT_TRUE(object().SendShortMsg(1, 5, "你好，世界"));
  EXPECT_TRUE(StatusShows("message \"你好，世界\" for 5"));
  EXPECT_NE(sim().Control("status").find(" message=C4E3BAC3A3ACCAC0BDE7 message-time=5 "),
            std::string::npos);

  const std::string sixteen = "一二三四五六七八九十甲乙丙丁戊己";
  EXPECT_TRUE(object().SendShortMsg(1, 30, sixteen));
  EXPECT_TRUE(StatusShows("message \"" + sixteen + "\" for 30"));
  EXPECT_FALSE(object().SendShortMsg(1, 30, sixteen + "庚")) << "34 bytes do not fit";
  EXPECT_TRUE(StatusShows("message \"" + sixteen + "\" for 30"));

  EXPECT_TRUE(object().SendShortMsg(1, 1, "Hello"));
  EXPECT_TRUE(StatusShows("message \"Hello\" for 1"));
  EXPECT_TRUE(sim().WaitForLine(std::regex("^rx addr=1 cmd=0x20 SendShortMsg -> reply 01 00 20 21; "
                                           "message \"Hello\" for 1$")));
}

TEST_P(DisplayAndKeypad, GetSoundsPlaysThePrompt) {
  ASSERT_STARTED(Start());
  ASSERT_NO_FATAL_FAILURE(OpenSerialPortToo());
  EXPECT_TRUE(StatusShows("sound -"));
  EXPECT_TRUE(object().GetSounds(1, 3));
  EXPECT_TRUE(StatusShows("sound 3 \"欢迎你\""));
  EXPECT_TRUE(object().GetSounds(1, 2));
  EXPECT_TRUE(StatusShows("sound 2"));
  EXPECT_TRUE(object().GetSounds(1, 8));
  EXPECT_TRUE(StatusShows("sound 8 \"注意安全\""));
}

TEST_P(DisplayAndKeypad, PasswordIsReadBack) {
  ASSERT_STARTED(Start());
  EXPECT_EQ(object().GetMachinePassword(1), 0);
  for (const auto& [sent, number, shown] :
       std::vector<std::tuple<std::string, int16_t, std::string>>{
           {"1234", 1234, "1234"}, {"7", 7, "0007"}, {"98765", 8765, "8765"}, {"0000", 0, "0000"}}) {
    SCOPED_TRACE(sent);
    EXPECT_TRUE(object().SetMachinePassword(1, sent));
    EXPECT_EQ(object().GetMachinePassword(1), number);
    EXPECT_TRUE(StatusShows("password " + shown));
  }
  EXPECT_FALSE(object().SetMachinePassword(1, "12a4")) << "not numeric";
  EXPECT_FALSE(object().SetMachinePassword(1, "-123")) << "a sign is no digit";
  EXPECT_TRUE(StatusShows("password 0000"));
}

// 32 lines of 16 bytes; line k holds bytes (k * 16 + i) * 7 mod 256.
std::vector<std::string> PictureFileLines() {
  std::vector<std::string> lines;
  for (int k = 0; k < 32; ++k) {
    std::string line;
    for (int i = 0; i < 16; ++i) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02X", ((k * 16 + i) * 7) & 0xFF);
      line += pair;
    }
    lines.push_back(line);
  }
  return lines;
}

std::string PictureFile(const std::vector<std::string>& lines) {
  std::string file;
  for (const std::string& line : lines) file += line + "\r\n";
  return file;
}

TEST_P(DisplayAndKeypad, SendPictureMachShowsThePicture) {
  ASSERT_STARTED(Start());
  ASSERT_NO_FATAL_FAILURE(OpenSerialPortToo());
  const std::vector<std::string> lines = PictureFileLines();
  // A 33rd line is never sent.
  WriteFile(data_ / "picture.txt", PictureFile(lines) + "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\r\n");
  EXPECT_TRUE(StatusShows("picture -"));
  EXPECT_TRUE(object().SendPictureMach("1", (data_ / "picture.txt").string()));
  EXPECT_EQ(ShownPicture(), lines);
  EXPECT_NE(sim().Control("status").find(" picture-blocks=32 "), std::string::npos);
  // The port is closed after a download; the next command opens it again.
  if (!tcp()) {
    EXPECT_TRUE(object().ClearFlag(1));
  }
}

TEST_P(DisplayAndKeypad, BrokenOffDownloadShowsNoPicture) {
  ASSERT_STARTED(Start({"--fault", "PictureData:3:wrong-address=2"}));
  ASSERT_NO_FATAL_FAILURE(OpenSerialPortToo());
  WriteFile(data_ / "picture.txt", PictureFile(PictureFileLines()));
  EXPECT_FALSE(object().SendPictureMach("1", (data_ / "picture.txt").string()));
  EXPECT_TRUE(StatusShows("picture -"));
  EXPECT_NE(sim().Control("status").find(" picture-blocks=3 "), std::string::npos);
}

// Disabled: on a pseudo-terminal the library cannot open its port while the
// stored line settings carry parity, which every serial exchange leaves
// behind ("19200,s,8,1"); SendPictureMach reopens the port with them and
// throws "Could not set comm state". Enable once the port accepts a device
// that keeps no parity when opening, as it already does when reconfiguring.
TEST_P(DisplayAndKeypad, SecondDownloadOnTheSerialBus) {
  ASSERT_STARTED(Start());
  ASSERT_NO_FATAL_FAILURE(OpenSerialPortToo());
  const std::vector<std::string> lines = PictureFileLines();
  WriteFile(data_ / "picture.txt", PictureFile(lines));
  EXPECT_TRUE(object().SendPictureMach("1", (data_ / "picture.txt").string()));
  EXPECT_TRUE(object().GetSounds(1, 4));
  EXPECT_TRUE(object().SendPictureMach("1", (data_ / "picture.txt").string()));
  EXPECT_EQ(ShownPicture(), lines);
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(DisplayAndKeypad);

}  // namespace
}  // namespace tallygate::testing
