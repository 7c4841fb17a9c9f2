// The frame reader: lengths, odd wire shapes, bad check bytes and
// resynchronisation, driven with made-up times.
#include "sim/model/frame_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/model/wire_shape.h"

namespace tallygate::sim {
namespace {

using namespace std::chrono_literals;

const TimePoint kStart{};

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The bytes after the address byte of a SendShortMsg with display time 5
// and no text: check byte 0x23^0x20^0x05, the address not included.
Bytes ShortMessageWire() {
  Bytes wire(36, 0);
  wire[0] = 0x23;
  wire[1] = 0x20;
  wire[2] = 0x05;
  wire[35] = 0x06;
  return wire;
}

Bytes PictureStartWire() {  // for terminal 1: 0x01^0x04^0x40^0x55 = 0x10
  Bytes wire(21, 0);
  wire[0] = 0x04;
  wire[1] = 0x40;
  wire[2] = 0x55;
  wire[3] = 0x10;
  return wire;
}

Bytes PictureDataWire(uint8_t address) {
  Bytes frame = MakeEmptyFrame(0x55, 19);
  for (uint8_t i = 0; i < 16; ++i) frame[2 + i] = static_cast<uint8_t>(i * 0x11);
  SealFrame(address, frame, 19);
  frame.resize(21, 0);
  return frame;
}

struct Found {
  std::vector<ReceivedFrame> frames;
  std::vector<ReceivedFrame> bad_checks;
  size_t discarded = 0;
};

Found Drain(FrameReader& reader) {
  Found found;
  while (std::optional<ReaderEvent> event = reader.Next()) {
    switch (event->kind) {
      case ReaderEvent::Kind::kFrame: found.frames.push_back(event->frame); break;
      case ReaderEvent::Kind::kBadCheck: found.bad_checks.push_back(event->frame); break;
      case ReaderEvent::Kind::kDiscarded: found.discarded += event->discarded; break;
    }
  }
  return found;
}

struct StreamCase {
  std::string name;
  Bytes stream;
  std::vector<ReceivedFrame> expected;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class FrameReaderStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(FrameReaderStream, FindsExactlyTheFrames) {
  const StreamCase& c = GetParam();
  // Whole, and byte by byte: the split must not matter.
  for (bool byte_by_byte : {false, true}) {
    FrameReader reader;
    if (byte_by_byte) {
      for (uint8_t b : c.stream) reader.Feed(std::span<const uint8_t>(&b, 1), kStart);
    } else {
      reader.Feed(c.stream, kStart);
    }
    reader.Expire(kStart + 1s);
    const Found found = Drain(reader);
    ASSERT_EQ(found.frames.size(), c.expected.size()) << (byte_by_byte ? "byte by byte" : "whole");
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(found.frames[i].address, c.expected[i].address) << i;
      EXPECT_EQ(found.frames[i].wire, c.expected[i].wire) << i;
    }
  }
}

const Bytes kClearFlag1{0x03, 0x02, 0x00};             // to terminal 1
const Bytes kRecordCount7{0x04, 0xBB, 0x00, 0xB8};     // 0x07^0x04^0xBB
const Bytes kRepairAddress1To9{0x05, 0x07, 0x55, 0x09, 0x5F};

INSTANTIATE_TEST_SUITE_P(
    Streams, FrameReaderStream,
    ::testing::Values(
        StreamCase{"ClearFlag", Cat({{0x01}, kClearFlag1}), {{1, kClearFlag1}}},
        StreamCase{"RepairAddress", Cat({{0x01}, kRepairAddress1To9}), {{1, kRepairAddress1To9}}},
        StreamCase{"OtherAddressPassesThrough", Cat({{0x07}, kRecordCount7}), {{7, kRecordCount7}}},
        StreamCase{"BackToBack",
                   Cat({{0x01}, kClearFlag1, {0x07}, kRecordCount7, {0x01}, kClearFlag1}),
                   {{1, kClearFlag1}, {7, kRecordCount7}, {1, kClearFlag1}}},
        StreamCase{"ShortMessageIs36BytesAndChecksWithoutAddress",
                   Cat({{0x01}, ShortMessageWire(), {0x01}, kClearFlag1}),
                   {{1, ShortMessageWire()}, {1, kClearFlag1}}},
        StreamCase{"PictureStartPaddedTo21", Cat({{0x01}, PictureStartWire(), {0x01}, kClearFlag1}),
                   {{1, PictureStartWire()}, {1, kClearFlag1}}},
        StreamCase{"PictureDataPaddedTo21", Cat({{0x03}, PictureDataWire(3), {0x01}, kClearFlag1}),
                   {{3, PictureDataWire(3)}, {1, kClearFlag1}}},
        StreamCase{"BadCheckIgnoredNextFrameFound",
                   Cat({{0x01, 0x03, 0x02, 0x55}, {0x01}, kClearFlag1}), {{1, kClearFlag1}}},
        StreamCase{"GarbageBeforeFrame", Cat({{0xFF, 0x00, 0x13, 0x02}, {0x01}, kClearFlag1}),
                   {{1, kClearFlag1}}},
        StreamCase{"FrameLengthBelowThreeSkipped", Cat({{0x01, 0x02, 0x01, 0x00}, {0x01}, kClearFlag1}),
                   {{1, kClearFlag1}}},
        // A wrong length byte that promises 200 bytes swallows the frame
        // behind it until the host falls silent; the frame is then found.
        StreamCase{"LongCandidateGivenUpAtSilence", Cat({{0x05, 0xC8, 0x02}, {0x01}, kClearFlag1}),
                   {{1, kClearFlag1}}},
        // With the address in the XOR the message frame's check is wrong.
        StreamCase{"ShortMessageCheckedWithAddressIsRejected",
                   [] {
                     Bytes wire = ShortMessageWire();
                     wire[35] ^= 0x01;  // what an address-inclusive check gives for terminal 1
                     return Cat({{0x01}, wire});
                   }(),
                   {}},
        StreamCase{"PictureStartWithoutPaddingIsIncomplete", Cat({{0x01}, {0x04, 0x40, 0x55, 0x10}}), {}}),
    [](const auto& test) { return test.param.name; });

TEST(FrameReader, ReportsBadCheckAtAFrameBoundaryAndAnswersNothing) {
  FrameReader reader;
  reader.Feed(Bytes{0x01, 0x03, 0x02, 0x01}, kStart);
  const Found found = Drain(reader);
  EXPECT_TRUE(found.frames.empty());
  ASSERT_EQ(found.bad_checks.size(), 1u);
  EXPECT_EQ(found.bad_checks[0].address, 1);
  EXPECT_EQ(found.bad_checks[0].command(), 0x02);
}

TEST(FrameReader, DropsPartialFrameAfterSilence) {
  FrameReader reader(100ms);
  reader.Feed(Bytes{0x01, 0x03}, kStart);
  ASSERT_TRUE(reader.deadline().has_value());
  EXPECT_EQ(*reader.deadline(), kStart + 100ms);
  reader.Expire(kStart + 99ms);
  EXPECT_TRUE(reader.deadline().has_value()) << "given up before the silence was over";
  // The rest of the interrupted frame comes after the silence: it must not
  // complete the old one, and the next whole frame is read cleanly.
  reader.Feed(Bytes{0x02, 0x00}, kStart + 150ms);
  reader.Feed(Cat({{0x01}, kClearFlag1}), kStart + 150ms);
  reader.Expire(kStart + 400ms);
  const Found found = Drain(reader);
  ASSERT_EQ(found.frames.size(), 1u);
  EXPECT_EQ(found.frames[0].wire, kClearFlag1);
  EXPECT_EQ(found.discarded, 4u);
  EXPECT_FALSE(reader.deadline().has_value());
}

TEST(FrameReader, SlowBytesWithinTheSilenceStillMakeAFrame) {
  FrameReader reader(100ms);
  const Bytes stream = Cat({{0x01}, kClearFlag1});
  for (size_t i = 0; i < stream.size(); ++i) {
    reader.Feed(std::span<const uint8_t>(&stream[i], 1), kStart + i * 90ms);
  }
  const Found found = Drain(reader);
  ASSERT_EQ(found.frames.size(), 1u);
  EXPECT_EQ(found.discarded, 0u);
}

// The host's pause between the address byte and its frame may outlast the
// silence between a frame's own bytes; a lone byte that stays alone goes.
TEST(FrameReader, LoneAddressByteWaitsLongerForItsFrame) {
  struct Case {
    std::chrono::milliseconds frame_after;
    size_t frames;
    size_t discarded;
  };
  for (const Case& c : {Case{600ms, 1, 0}, Case{999ms, 1, 0}, Case{1001ms, 0, 1 + kClearFlag1.size()}}) {
    FrameReader reader(100ms);
    reader.Feed(Bytes{0x01}, kStart);
    reader.Expire(kStart + c.frame_after);
    reader.Feed(kClearFlag1, kStart + c.frame_after);
    reader.Expire(kStart + c.frame_after + 1s);
    const Found found = Drain(reader);
    EXPECT_EQ(found.frames.size(), c.frames) << c.frame_after.count();
    EXPECT_EQ(found.discarded, c.discarded) << c.frame_after.count();
  }
}

TEST(FrameReader, ResetForgetsPendingBytes) {
  FrameReader reader;
  reader.Feed(Bytes{0x01, 0x03, 0x02}, kStart);
  reader.Reset();
  reader.Feed(Bytes{0x00}, kStart);  // would have completed the old frame
  reader.Expire(kStart + 1s);
  EXPECT_TRUE(Drain(reader).frames.empty());
}

TEST(WireShape, SealedWireMatchesTheHandBuiltFrames) {
  EXPECT_EQ(SealedWire(1, MakeFrame(0x02)), kClearFlag1);
  EXPECT_EQ(SealedWire(1, MakeFrame(0x07, {0x55, 0x09})), kRepairAddress1To9);
  Bytes message = MakeEmptyFrame(0x20, 35);
  message[2] = 0x05;
  EXPECT_EQ(SealedWire(1, message), ShortMessageWire());
  EXPECT_EQ(SealedWire(1, MakeFrame(0x40, {0x55})), PictureStartWire());
}

}  // namespace
}  // namespace tallygate::sim
