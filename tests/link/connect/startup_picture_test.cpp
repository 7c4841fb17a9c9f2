#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tests/support/host_capture.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;
using testing::Write;
using testing::kAddressSettings;
using testing::kDataSettings;
using testing::kPlainSettings;


constexpr size_t kWritesForFullDownload = 2 + 32 * 2;

// A terminal that answers every frame at once with five bytes from its
// address.
Bytes Terminal(uint8_t address, const Bytes& frame) {
  return {address, 0x00, frame[1], 0x00, 0x00};
}

std::string PictureFile(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Line k: 32 hexadecimal digits, every byte k.
std::vector<std::string> NumberedLines(int count) {
  std::vector<std::string> lines;
  for (int k = 0; k < count; ++k) {
    const char* hex = "0123456789ABCDEF";
    const std::string pair = {hex[k / 16], hex[k % 16]};
    std::string line;
    for (int i = 0; i < 16; ++i) line += pair;
    lines.push_back(line);
  }
  return lines;
}

// The data frame of one block to terminal 1, as the 21 bytes written.
Bytes DataWrite(const Bytes& block) {
  Bytes frame;
  frame.reserve(2 + block.size() + 1);
  frame.push_back(0x13);
  frame.push_back(0x55);
  frame.insert(frame.end(), block.begin(), block.end());
  frame.push_back(0);
  SealFrame(0x01, frame, 19);
  frame.resize(21, 0x00);
  return frame;
}

class StartupPictureTest : public testing::ObjectTest {
 protected:
  void SetUp() override {
    UseSerial();
    link_.port().log.clear();
  }

  std::string WritePicture(const std::vector<std::string>& lines,
                           const std::string& name = "picture.txt") {
    const std::filesystem::path path = home_ / name;
    testing::WriteFile(path, PictureFile(lines));
    return path.string();
  }
};

// Lines 33 to 40 are not part of the picture.
TEST_F(StartupPictureTest, StartFrameThenOneFramePerLine) {
  AnswerFrames(link_.port(), Terminal);
  EXPECT_TRUE(object_->SendPictureMach("1", WritePicture(NumberedLines(40))));
  const std::vector<Write>& writes = link_.port().writes;
  ASSERT_EQ(writes.size(), kWritesForFullDownload);
  Bytes start = {0x04, 0x40, 0x55, 0x10};
  start.resize(21, 0x00);
  EXPECT_EQ(writes[0], (Write{kAddressSettings, {0x01}}));
  EXPECT_EQ(writes[1], (Write{kDataSettings, start}));
  for (size_t k = 0; k < 32; ++k) {
    EXPECT_EQ(writes[2 + 2 * k], (Write{kAddressSettings, {0x01}})) << k;
    EXPECT_EQ(writes[3 + 2 * k],
              (Write{kDataSettings, DataWrite(Bytes(16, static_cast<uint8_t>(k)))}))
        << k;
  }
  // A fresh port, then each transfer clears what waits before it sends.
  const std::vector<std::string> transfer = {
      "discard-in", "discard-out", "settings " + kAddressSettings, "settings " + kDataSettings};
  std::vector<std::string> expected = {"discard-in", "discard-out", "open"};
  for (int i = 0; i < 33; ++i) expected.insert(expected.end(), transfer.begin(), transfer.end());
  expected.push_back("close");
  EXPECT_EQ(link_.port().log, expected);
  EXPECT_EQ(link_.port().RThreshold(), 2);
  EXPECT_EQ(link_.port().InputMode(), 1);
}

TEST_F(StartupPictureTest, HexadecimalPairsOfALine) {
  struct Case {
    const char* line;
    Bytes block;
  };
  const Case cases[] = {
      {"00112233445566778899AABBCCDDEEFF",
       {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE,
        0xFF}},
      {"0102030405060708090A0B0C0D0E0F", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}},
      {"0102030405060708090A0B0C0D0E0FA",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x0A}},
      {"ab1xx1zz", {0xAB, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"", Bytes(16, 0)},
      {"0102030405060708090A0B0C0D0E0F10FFFF",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
  };
  std::vector<std::string> lines = NumberedLines(32);
  for (size_t i = 0; i < std::size(cases); ++i) lines[i] = cases[i].line;
  AnswerFrames(link_.port(), Terminal);
  EXPECT_TRUE(object_->SendPictureMach("1", WritePicture(lines)));
  ASSERT_EQ(link_.port().writes.size(), kWritesForFullDownload);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(link_.port().writes[3 + 2 * i].bytes, DataWrite(cases[i].block)) << cases[i].line;
  }
}

TEST_F(StartupPictureTest, WrongAddressInTheThirdAnswerStopsTheDownload) {
  int data_frames = 0;
  AnswerFrames(link_.port(), [&](uint8_t address, const Bytes& frame) -> Bytes {
    if (frame[1] == 0x55 && ++data_frames == 3) return {0x02, 0x00, 0x55, 0x00, 0x00};
    return Terminal(address, frame);
  });
  EXPECT_FALSE(object_->SendPictureMach("1", WritePicture(NumberedLines(32))));
  EXPECT_EQ(link_.port().writes.size(), 2u + 3 * 2);
  EXPECT_EQ(data_frames, 3);
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_EQ(link_.port().log.back(), "close");
}

// Answers of one byte, and answers longer than the five bytes read: the
// extra bytes must not pass for the next block's answer.
TEST_F(StartupPictureTest, AnswerLengthsAroundFiveBytes) {
  const Bytes tails[] = {{}, {0x09, 0x09, 0x09, 0x09, 0x09, 0x09}};
  for (const Bytes& tail : tails) {
    link_.port().writes.clear();
    AnswerFrames(link_.port(), [&](uint8_t address, const Bytes&) {
      Bytes answer;
      answer.reserve(1 + tail.size());
      answer.push_back(address);
      answer.insert(answer.end(), tail.begin(), tail.end());
      return answer;
    });
    EXPECT_TRUE(object_->SendPictureMach("1", WritePicture(NumberedLines(32)))) << tail.size();
    EXPECT_EQ(link_.port().writes.size(), kWritesForFullDownload) << tail.size();
  }
}

// Waits the one second the first answer byte is given.
TEST_F(StartupPictureTest, NoAnswerToTheStartFrame) {
  EXPECT_FALSE(object_->SendPictureMach("1", WritePicture(NumberedLines(32))));
  EXPECT_EQ(link_.port().writes.size(), 2u);
  EXPECT_FALSE(link_.port().PortOpen());
}

TEST_F(StartupPictureTest, TcpModeStillUsesTheSerialPort) {
  UseTcp();
  AnswerFrames(link_.port(), Terminal);
  EXPECT_TRUE(object_->SendPictureMach(" 7 ", WritePicture(NumberedLines(32))));
  const std::vector<Write>& writes = link_.port().writes;
  ASSERT_EQ(writes.size(), kWritesForFullDownload);
  Bytes start = {0x04, 0x40, 0x55, 0x16};
  start.resize(21, 0x00);
  EXPECT_EQ(writes[0], (Write{kPlainSettings, {0x07}}));
  EXPECT_EQ(writes[1], (Write{kPlainSettings, start}));
  for (const Write& write : writes) EXPECT_EQ(write.settings, kPlainSettings);
  EXPECT_TRUE(link_.socket().sends.empty());
  EXPECT_FALSE(link_.port().PortOpen());
}

// The file is read whole first: a file that cannot supply 32 lines fails
// before the port is touched, whether it was open or closed.
TEST_F(StartupPictureTest, UnreadableFileThrowsBeforeThePortIsTouched) {
  AnswerFrames(link_.port(), Terminal);
  struct Case {
    const char* name;
    std::string path;
    int32_t error;
  };
  const Case cases[] = {
      {"missing", (home_ / "none.txt").string(), err::kFileNotFound},
      {"31 lines", WritePicture(NumberedLines(31), "short.txt"), err::kInputPastEndOfFile},
      {"empty", WritePicture({}, "empty.txt"), err::kInputPastEndOfFile},
      {"NUL in the path", WritePicture(NumberedLines(32)) + std::string(1, '\0') + "x",
       err::kBadFileNameOrNumber},
  };
  for (bool open_before : {false, true}) {
    if (open_before && !link_.port().PortOpen()) link_.port().SetPortOpen(true);
    for (const Case& c : cases) {
      link_.port().log.clear();
      try {
        object_->SendPictureMach("1", c.path);
        ADD_FAILURE() << c.name << ": no error";
      } catch (const BasicError& error) {
        EXPECT_EQ(error.number(), c.error) << c.name;
      }
      EXPECT_TRUE(link_.port().log.empty()) << c.name;
      EXPECT_EQ(link_.port().PortOpen(), open_before) << c.name;
    }
  }
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(StartupPictureTest, BadAddressTextThrowsAndClosesThePort) {
  AnswerFrames(link_.port(), Terminal);
  struct Case {
    const char* text;
    int32_t error;
  };
  const Case cases[] = {
      {"abc", err::kTypeMismatch}, {"", err::kTypeMismatch}, {"1a", err::kTypeMismatch},
      {"256", err::kOverflow},     {"-1", err::kOverflow},
  };
  const std::string path = WritePicture(NumberedLines(32));
  for (const Case& c : cases) {
    link_.port().log.clear();
    try {
      object_->SendPictureMach(c.text, path);
      ADD_FAILURE() << c.text << ": no error";
    } catch (const BasicError& error) {
      EXPECT_EQ(error.number(), c.error) << c.text;
    }
    EXPECT_FALSE(link_.port().PortOpen()) << c.text;
    EXPECT_EQ(link_.port().log,
              (std::vector<std::string>{"discard-in", "discard-out", "open", "close"}))
        << c.text;
  }
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(StartupPictureTest, PortThatCannotOpenThrows) {
  link_.port().open_error = err::kPortAlreadyOpen;
  EXPECT_THROW(object_->SendPictureMach("1", WritePicture(NumberedLines(32))), BasicError);
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_TRUE(link_.port().writes.empty());
}

// A host event that starts a download while another call waits for its
// reply is refused, and the waiting call's port stays as it was.
TEST_F(StartupPictureTest, DownloadFromAHostEventDuringAWaitIsRefused) {
  AnswerFrames(
      link_.port(),
      [](uint8_t address, const Bytes& frame) { return MakeReply(address, frame[1], {}, 4); },
      std::chrono::milliseconds(100));
  const std::string path = WritePicture(NumberedLines(32));
  std::vector<int> nested;
  testing::HostCapture host([&] {
    if (nested.empty()) nested.push_back(object_->SendPictureMach("1", path));
  });
  EXPECT_TRUE(object_->ClearFlag(1));
  EXPECT_EQ(nested, std::vector<int>{0});
  EXPECT_EQ(link_.port().writes.size(), 2u);
  EXPECT_TRUE(link_.port().PortOpen());
}

}  // namespace
}  // namespace tallygate
