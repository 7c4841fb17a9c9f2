// Calls by name on a Connect_v70 object made by the class factory, in this
// process, on a recording port and socket.
#include <gtest/gtest.h>

#include <set>

#include "link/binding/dispatcher.h"
#include "link/binding/entry_points.h"
#include "link/binding/member_table.h"
#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tallygate/conversions.h"
#include "tallygate/dispatch_ref.h"
#include "tallygate/error_passing.h"
#include "tallygate/progress.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;
using testing::ScopedEnv;
using testing::TempDir;

constexpr int32_t kMethodOrGet = TG_INVOKE_METHOD | TG_INVOKE_PROPERTY_GET;

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest()
      : home_env_("TALLYGATE_HOME", home_.path().string()),
        locale_env_("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8") {
    tg_class_factory* factory = nullptr;
    EXPECT_EQ(binding::GetClassObject(TG_CONNECT_V70_CLASS_ID, &factory), 0);
    tg_dispatch* raw = nullptr;
    EXPECT_EQ(factory->vtbl->create_instance(factory, &raw, nullptr), 0);
    factory->vtbl->release(factory);
    object_ = DispatchRef::Adopt(raw);
  }

  // A terminal on the serial bus that acknowledges every command with a
  // 4-byte reply and reports `count` records.
  void AnsweringTerminal(int count) {
    AnswerFrames(link_.port(), [count](uint8_t address, const Bytes& frame) {
      if (frame[1] == 0xBB || frame[1] == 0xCC) {
        const uint8_t data[2] = {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
        return MakeReply(address, frame[1], data, 6);
      }
      return MakeReply(address, frame[1], {}, 4);
    });
  }

  Outcome Call(const char* name, std::vector<Variant> args, int32_t flags = kMethodOrGet) {
    return object_.Invoke(name, flags, args);
  }

  TempDir home_;
  ScopedEnv home_env_;
  ScopedEnv locale_env_;
  testing::RecordingLink link_;
  DispatchRef object_;
};

void ExpectError(const Outcome& outcome, int32_t number, int32_t argument = -1) {
  EXPECT_EQ(outcome.number, number) << outcome.description;
  EXPECT_EQ(outcome.argument, argument);
  EXPECT_EQ(outcome.description, StandardDescription(number));
}

TEST_F(DispatchTest, NamesAreFoundWhateverTheirCase) {
  for (const char* name : {"Ver", "ver", "VER", "vEr"}) {
    const Outcome outcome = Call(name, {});
    ASSERT_TRUE(outcome.ok()) << name;
    EXPECT_EQ(outcome.result.text().substr(0, 6), "V7.4.2") << name;
  }
  const Outcome mode = Call("mode", {});
  ASSERT_TRUE(mode.ok());
  EXPECT_EQ(mode.result.kind(), TG_I2);
  EXPECT_EQ(mode.result.i2(), 0);
}

TEST_F(DispatchTest, PropertiesTakeTextAndGiveTheirDeclaredType) {
  object_.Put("Mode", Variant("1"));
  EXPECT_EQ(object_.Get("Mode").i2(), 1);
  object_.Put("MODE", Variant(5));  // not a mode: nothing changes
  EXPECT_EQ(object_.Get("Mode").i2(), 1);
  object_.Put("tcpPort", Variant(" 2000 "));
  const Variant port = object_.Get("tcpport");
  EXPECT_EQ(port.kind(), TG_I4);
  EXPECT_EQ(port.i4(), 2000);
  object_.Put("IP", Variant(12.5));
  EXPECT_EQ(object_.Get("IP").text(), "12.5");
  object_.Put("Ver", Variant(true));
  EXPECT_EQ(object_.Get("Ver").text(), "True");
}

TEST_F(DispatchTest, WrongMembersAndArgumentCounts) {
  ExpectError(Call("NoSuchMember", {}), err::kNotAnObjectProperty);
  ExpectError(Call("tcpState", {Variant(1)}, TG_INVOKE_PROPERTY_PUT), err::kNotAnObjectProperty);
  ExpectError(Call("Mode", {}, TG_INVOKE_METHOD), err::kNotAnObjectProperty);
  ExpectError(Call("ClearFlag", {Variant(1)}, TG_INVOKE_PROPERTY_GET), err::kNotAnObjectProperty);
  ExpectError(Call("Mode", {}, TG_INVOKE_PROPERTY_PUT), err::kWrongNumberOfArguments);
  ExpectError(Call("Mode", {Variant(1), Variant(1)}, TG_INVOKE_PROPERTY_PUT),
              err::kWrongNumberOfArguments);
  ExpectError(Call("Mode", {Variant(1)}, TG_INVOKE_PROPERTY_GET), err::kWrongNumberOfArguments);
  ExpectError(Call("ClearFlag", {}), err::kWrongNumberOfArguments);
  ExpectError(Call("ClearFlag", {Variant(1), Variant(2)}), err::kWrongNumberOfArguments);
  ExpectError(Call("RepairAddress", {Variant(1)}), err::kWrongNumberOfArguments);
  ExpectError(Call("RepairAddress", {Variant(1), Variant::Missing()}), err::kArgumentNotOptional,
              1);
  ExpectError(Call("SetStorageModel", {Variant::Missing()}), err::kArgumentNotOptional, 0);
  ExpectError(Call("Mode", {Variant::Missing()}, TG_INVOKE_PROPERTY_PUT),
              err::kArgumentNotOptional, 0);
  EXPECT_TRUE(link_.port().writes.empty()) << "no member ran";
}

TEST_F(DispatchTest, MalformedCallsFromCAreErrorsNotCrashes) {
  tg_dispatch* raw = object_.get();
  tg_value dangling;
  tg_value_init(&dangling);
  dangling.kind = TG_BYREF;  // refers to nothing
  tg_value result;
  tg_error error{};
  EXPECT_EQ(raw->vtbl->invoke(raw, "ClearFlag", TG_INVOKE_METHOD, &dangling, 1, &result, &error),
            err::kInvalidProcedureCall);
  EXPECT_EQ(error.argument, 0);
  tg_error_clear(&error);
  EXPECT_EQ(raw->vtbl->invoke(raw, "ClearFlag", TG_INVOKE_METHOD, nullptr, 1, &result, &error),
            err::kInvalidProcedureCall);
  tg_error_clear(&error);
  EXPECT_EQ(raw->vtbl->invoke(raw, nullptr, TG_INVOKE_METHOD, nullptr, 0, nullptr, nullptr),
            err::kNotAnObjectProperty);
  EXPECT_EQ(result.kind, TG_EMPTY);
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(DispatchTest, ArgumentsThatDoNotConvertFailBeforeTheMemberRuns) {
  ExpectError(Call("ClearFlag", {Variant("abc")}), err::kTypeMismatch, 0);
  ExpectError(Call("ClearFlag", {Variant("")}), err::kTypeMismatch, 0);
  ExpectError(Call("ClearFlag", {Variant("40000")}), err::kOverflow, 0);
  ExpectError(Call("RepairAddress", {Variant(1), Variant("x")}), err::kTypeMismatch, 1);
  ExpectError(Call("ModifyDateTime", {Variant(1), Variant("250101"), Variant("120000"),
                                      Variant("256")}),
              err::kOverflow, 3);
  ExpectError(Call("Mode", {Variant("abc")}, TG_INVOKE_PROPERTY_PUT), err::kTypeMismatch, 0);
  ExpectError(Call("tcpPort", {Variant("3e9")}, TG_INVOKE_PROPERTY_PUT), err::kOverflow, 0);
  ExpectError(Call("GatherData", {Variant(1), Variant("/tmp"), Variant("f"), Variant(""),
                                  Variant(0), Variant(3), Variant(0), Variant(false),
                                  Variant("a progress bar")}),
              err::kTypeMismatch, 8);
  EXPECT_TRUE(link_.port().writes.empty());
  EXPECT_EQ(object_.Get("Mode").i2(), 0);
}

TEST_F(DispatchTest, TextArgumentsReachTheWireAsTheirNumbers) {
  AnsweringTerminal(0);
  const Outcome flag = Call("clearflag", {Variant(" 3 ")});
  ASSERT_TRUE(flag.ok()) << flag.description;
  EXPECT_EQ(flag.result.kind(), TG_BOOL);
  EXPECT_EQ(flag.result.value().u.boolean, -1) << "true is -1 across the interface";
  ASSERT_EQ(link_.port().writes.size(), 2u);
  EXPECT_EQ(link_.port().writes[0].bytes, Bytes{0x03});
  EXPECT_EQ(link_.port().writes[1].bytes, (Bytes{0x03, 0x02, 0x02})) << "the check byte counts the address";

  // An omitted optional argument and an explicitly missing one take the
  // default (storage mode 1); a given one converts (&H2 is 2).
  for (const auto& args : {std::vector<Variant>{Variant("1")},
                           std::vector<Variant>{Variant("1"), Variant::Missing()},
                           std::vector<Variant>{Variant("1"), Variant("&H2")}}) {
    link_.port().writes.clear();
    ASSERT_TRUE(Call("SetStorageModel", args).ok());
    ASSERT_EQ(link_.port().writes.size(), 2u);
    EXPECT_EQ(link_.port().writes[1].bytes[2], args.size() == 2 && !args[1].is_missing() ? 2 : 1);
  }
}

TEST_F(DispatchTest, DefaultsOfTheConnection) {
  object_.Put("Mode", Variant(int16_t{1}));
  const std::vector<std::vector<Variant>> calls = {
      {Variant("10.0.0.5")}, {Variant("10.0.0.6"), Variant::Missing()},
      {Variant("10.0.0.7"), Variant("2000")}};
  for (const auto& args : calls) {
    const Outcome outcome = Call("Connect_Net", args);
    ASSERT_TRUE(outcome.ok()) << outcome.description;
    EXPECT_EQ(outcome.result.value().u.boolean, -1);
  }
  std::vector<std::string> connects;
  for (const std::string& entry : link_.socket().log) {
    if (entry.rfind("connect ", 0) == 0) connects.push_back(entry);
  }
  EXPECT_EQ(connects, (std::vector<std::string>{"connect 10.0.0.5:1001", "connect 10.0.0.6:1001",
                                                "connect 10.0.0.7:2000"}));
}

TEST_F(DispatchTest, ByReferenceArgumentsReceiveTheirFinalValues) {
  AnsweringTerminal(300);
  Variant count("7");
  Variant description("ok");
  Variant address("1");
  const Outcome outcome = Call("GatherRecordSum", {Variant::Ref(address), Variant::Ref(count),
                                                   Variant::Ref(description)});
  ASSERT_TRUE(outcome.ok()) << outcome.description;
  EXPECT_EQ(outcome.result.value().u.boolean, -1);
  EXPECT_EQ(count.kind(), TG_I4) << "written back as the declared type";
  EXPECT_EQ(count.i4(), 300);
  EXPECT_EQ(description.kind(), TG_TEXT);
  EXPECT_EQ(address.kind(), TG_TEXT) << "a by-value parameter never writes back";
  EXPECT_EQ(address.text(), "1");

  // Plain values for by-reference parameters: the member works on copies.
  const Outcome copies = Call("GatherSendCardSum", {Variant(1), Variant("0")});
  ASSERT_TRUE(copies.ok()) << copies.description;
  EXPECT_TRUE(copies.result.boolean());
}

TEST_F(DispatchTest, RaisedErrorsReachTheCallerAndWriteNothingBack) {
  Variant description("before");
  Variant sum(int32_t{-7});
  const Outcome raised =
      Call("GatherData", {Variant(1), Variant(std::string("/tmp\0x", 6)), Variant("f.txt"),
                          Variant::Ref(description), Variant::Ref(sum)});
  EXPECT_EQ(raised.number, err::kBadFileNameOrNumber) << raised.description;
  EXPECT_EQ(description.text(), "before");
  EXPECT_EQ(sum.i4(), -7);

  const Outcome missing_folder =
      Call("GatherData", {Variant(1), Variant((home_ / "none").string()), Variant("f.txt"),
                          Variant::Ref(description), Variant::Ref(sum)});
  ASSERT_TRUE(missing_folder.ok()) << missing_folder.description;
  EXPECT_FALSE(missing_folder.result.boolean());
  EXPECT_EQ(description.text(), "File path no exist!");

  const Outcome picture = Call("SendPictureMach", {Variant("1"), Variant((home_ / "no.bmp").string())});
  EXPECT_EQ(picture.number, err::kFileNotFound) << picture.description;
  EXPECT_FALSE(picture.description.empty());
}

TEST_F(DispatchTest, ArraysOfDatesAreConvertedAndWrittenBack) {
  AnsweringTerminal(0);
  Variant times(std::vector<Variant>{Variant("08:00"), Variant("12:30")});
  const Outcome outcome = Call("SetClock", {Variant(1), Variant::Ref(times), Variant("1")});
  ASSERT_TRUE(outcome.ok()) << outcome.description;
  ASSERT_EQ(times.kind(), TG_ARRAY);
  const std::vector<Variant> items = times.items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].kind(), TG_DATE);
  EXPECT_EQ(ChangeType(items[0], TG_TEXT).text(), "08:00:00");
  EXPECT_EQ(ChangeType(items[1], TG_TEXT).text(), "12:30:00");

  ExpectError(Call("SetClock", {Variant(1), Variant(std::vector<Variant>{Variant("soon")}),
                                Variant("1")}),
              err::kTypeMismatch, 1);
  ExpectError(Call("SetClock", {Variant(1), Variant("08:00"), Variant("1")}), err::kTypeMismatch,
              1);
}

// A terminal holding `n` records, paged 256 a time.
Bytes PagingAnswer(int n, uint8_t address, const Bytes& frame) {
  if (frame[1] != 0xBB) return MakeReply(address, frame[1], {}, 4);
  if (frame[2] == 0) {
    const uint8_t data[2] = {0, static_cast<uint8_t>(n)};
    return MakeReply(address, 0xBB, data, 6);
  }
  Bytes stream;
  for (int i = 0; i < n; ++i) {
    Bytes unit(16, 0);
    unit[0] = address;
    unit[6] = static_cast<uint8_t>(i);
    const uint8_t when[6] = {0x26, 0x03, 0x01, 0x08, static_cast<uint8_t>(i), 0x05};
    std::copy(when, when + 6, unit.begin() + 7);
    unit[13] = 0x01;
    unit[14] = 0x99;
    unit[15] = XorOf(std::span<const uint8_t>(unit).first(15));
    stream.insert(stream.end(), unit.begin(), unit.end());
  }
  return stream;
}

TEST_F(DispatchTest, TheProgressObjectIsPutByName) {
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes& frame) {
    return PagingAnswer(3, address, frame);
  });
  struct Sink {
    std::vector<std::pair<std::string, double>> puts;
    bool destroyed = false;
  } sink;
  tg_progress_sink callbacks{&sink,
                             [](void* context, const char* property, double value) {
                               static_cast<Sink*>(context)->puts.emplace_back(property, value);
                             },
                             [](void* context) { static_cast<Sink*>(context)->destroyed = true; }};
  tg_dispatch* progress = tg_progress_object_create(&callbacks);
  Variant description;
  Variant sum;
  {
    const Variant bar(progress);
    progress->vtbl->release(progress);
    const Outcome outcome =
        Call("GatherData", {Variant("1"), Variant(home_.path().string()), Variant("r.txt"),
                            Variant::Ref(description), Variant::Ref(sum), Variant("1"),
                            Variant::Missing(), Variant::Missing(), bar});
    ASSERT_TRUE(outcome.ok()) << outcome.description;
    EXPECT_TRUE(outcome.result.boolean()) << description.text();
  }
  EXPECT_EQ(sum.i4(), 3);
  ASSERT_GE(sink.puts.size(), 3u);
  EXPECT_EQ(sink.puts[0], std::make_pair(std::string("Max"), 4.0));
  EXPECT_EQ(sink.puts[1], std::make_pair(std::string("Min"), 0.0));
  EXPECT_EQ(sink.puts.back(), std::make_pair(std::string("Value"), 2.0));
  EXPECT_TRUE(sink.destroyed) << "the call let go of the progress object";
}

// A host's own progress object, which records every call that reached one
// of its members; it has a method Page or not, and its Page may raise.
struct RecordingProgress {
  tg_dispatch base;  // first: the object is its dispatch pointer
  bool has_page = false;
  bool page_raises = false;
  std::vector<std::string> calls;  // "Max=4", "Page(1,1,1,0,0)", ...
  int page_lookups = 0;            // Page asked for, refused without running

  static int32_t Invoke(tg_dispatch* self, const char* name, int32_t flags, const tg_value* args,
                        int32_t count, tg_value* result, tg_error* error) {
    auto* object = reinterpret_cast<RecordingProgress*>(self);
    if (result != nullptr) tg_value_init(result);
    return Guarded(error, [&] {
      const std::string member = name;
      if (member == "Page" && object->has_page) {
        if (count != 5) {
          ++object->page_lookups;
          throw BasicError(err::kWrongNumberOfArguments);
        }
        if (object->page_raises) throw BasicError(err::kInvalidProcedureCall, "no pages here");
        std::string call = "Page(";
        for (int32_t i = 0; i < count; ++i) {
          call += (i > 0 ? "," : "") + std::to_string(ChangeType(args[i], TG_I4).i4());
        }
        object->calls.push_back(call + ")");
        return;
      }
      if (member == "Page") ++object->page_lookups;
      if ((member != "Max" && member != "Min" && member != "Value") ||
          flags != TG_INVOKE_PROPERTY_PUT || count != 1) {
        throw BasicError(err::kNotAnObjectProperty);
      }
      object->calls.push_back(member + "=" + std::to_string(ChangeType(args[0], TG_I4).i4()));
    });
  }
};

TEST_F(DispatchTest, PagesReachOnlyAProgressObjectWithAPageMethod) {
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes& frame) {
    return PagingAnswer(3, address, frame);
  });
  const std::vector<std::string> puts = {"Max=4", "Min=0", "Value=0", "Value=0", "Value=1",
                                         "Value=2"};
  std::vector<std::string> paged = puts;
  paged.insert(paged.begin() + 3, "Page(1,1,1,0,0)");
  paged.push_back("Page(1,1,1,0,-1)");  // true as a Long
  struct Case {
    bool has_page, page_raises;
    bool result;
    std::string description;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {false, false, true, "", puts},
      {true, false, true, "", paged},
      // Like a Value put the object refuses: the collection fails with the
      // object's description, before any record was asked for.
      {true, true, false, "no pages here", {"Max=4", "Min=0", "Value=0"}},
  };
  for (const Case& c : cases) {
    static const tg_dispatch_vtbl kVtbl = {[](tg_dispatch*) -> uint32_t { return 2; },
                                           [](tg_dispatch*) -> uint32_t { return 1; },
                                           RecordingProgress::Invoke};
    RecordingProgress progress{{&kVtbl}, c.has_page, c.page_raises, {}, 0};
    Variant description;
    Variant sum;
    const Outcome outcome =
        Call("GatherData", {Variant("1"), Variant(home_.path().string()), Variant("r.txt"),
                            Variant::Ref(description), Variant::Ref(sum), Variant("1"),
                            Variant::Missing(), Variant::Missing(), Variant(&progress.base)});
    const std::string where = "Page " + std::string(c.has_page ? "" : "not ") + "there" +
                              (c.page_raises ? ", raising" : "");
    ASSERT_TRUE(outcome.ok()) << where << ": " << outcome.description;
    EXPECT_EQ(outcome.result.boolean(), c.result) << where;
    EXPECT_EQ(description.text(), c.description) << where;
    EXPECT_EQ(progress.calls, c.calls) << where;
    EXPECT_EQ(progress.page_lookups, 1) << where << ": asked once whether it has Page";
  }
}

// Object creation raises its one error to the creator as a number and a
// description, not as an exception.
TEST(CreationErrorTest, OversizedMappingFileFailsTheCreation) {
  TempDir home;
  ScopedEnv home_env("TALLYGATE_HOME", home.path().string());
  ScopedEnv locale_env("TALLYGATE_SYSTEM_LOCALE", "zh_TW.UTF-8");
  testing::RecordingLink link;
  std::string lines;
  for (int i = 0; i < 22937; ++i) lines += "x\n";
  testing::WriteFile(home / "rm.txt", lines);
  tg_class_factory* factory = nullptr;
  ASSERT_EQ(binding::GetClassObject(TG_CONNECT_V70_CLASS_ID, &factory), 0);
  tg_dispatch* object = reinterpret_cast<tg_dispatch*>(&factory);  // must be overwritten
  tg_error error{};
  EXPECT_EQ(factory->vtbl->create_instance(factory, &object, &error), err::kSubscriptOutOfRange);
  factory->vtbl->release(factory);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(error.number, err::kSubscriptOutOfRange);
  EXPECT_STREQ(error.description, "Subscript out of range");
  tg_error_clear(&error);
  EXPECT_EQ(binding::CanUnloadNow(), TG_S_OK) << "nothing half-made stays counted";
}

// Every member of the interface is in the table, once, under the right kind,
// and every default converts to its parameter's type.
TEST(MemberTableTest, EveryMemberOfTheInterface) {
  const std::vector<std::string> properties = {"Ver", "Mode", "IP", "tcpPort"};
  const std::vector<std::string> read_only = {"tcpState"};
  const std::vector<std::string> methods = {
      "SetPort", "DestoryPort", "ShowAbout", "Connect_Net", "Disconnect_Net", "RepairAddress",
      "ClearFlag", "ClearRecord", "ClearNameList", "SetStorageModel", "GetStorageModel",
      "GatherRecordSum", "GatherSendCardSum", "GatherData", "GatherSendCardData", "CheckData",
      "CardSendToMachine", "SendRecordToMachine", "ClearName", "FindCard", "ReadCardNum",
      "ReadSystemParameter", "RepairSystemParameter", "ModifyDateTime", "SetClock",
      "SetClockStr", "SendShortMsg", "GetSounds", "SetMachinePassword", "GetMachinePassword",
      "SendPictureMach"};
  const binding::MemberTable& table = binding::Connect_v70Members();
  for (const std::string& name : methods) {
    EXPECT_NE(binding::FindMember(table, name.c_str(), TG_INVOKE_METHOD), nullptr) << name;
  }
  for (const std::string& name : properties) {
    EXPECT_NE(binding::FindMember(table, name.c_str(), TG_INVOKE_PROPERTY_GET), nullptr) << name;
    EXPECT_NE(binding::FindMember(table, name.c_str(), TG_INVOKE_PROPERTY_PUT), nullptr) << name;
  }
  EXPECT_NE(binding::FindMember(table, "tcpState", TG_INVOKE_PROPERTY_GET), nullptr);
  EXPECT_EQ(binding::FindMember(table, "tcpState", TG_INVOKE_PROPERTY_PUT), nullptr);
  // The interface's 40 members: a property read and written counts twice.
  EXPECT_EQ(table.size(), 40u);
  EXPECT_EQ(table.size(), methods.size() + 2 * properties.size() + read_only.size());

  std::set<std::pair<std::string, int>> seen;
  for (const binding::Member& member : table) {
    std::string lower;
    for (char c : member.name) lower += static_cast<char>(std::tolower(c));
    EXPECT_TRUE(seen.emplace(lower, static_cast<int>(member.kind)).second) << member.name;
    for (const binding::Parameter& parameter : member.parameters) {
      if (!parameter.fallback) continue;
      EXPECT_NO_THROW(ChangeType(*parameter.fallback, parameter.kind, parameter.element_kind))
          << member.name << " " << parameter.name;
    }
  }
}

TEST(MemberTableTest, RowsCarryTheDeclaredTypes) {
  const binding::Member* gather =
      binding::FindMember(binding::Connect_v70Members(), "GatherData", TG_INVOKE_METHOD);
  ASSERT_NE(gather, nullptr);
  ASSERT_EQ(gather->parameters.size(), 9u);
  const std::pair<int32_t, bool> expected[] = {
      {TG_I2, false}, {TG_TEXT, false}, {TG_TEXT, false}, {TG_TEXT, true},   {TG_I4, true},
      {TG_I4, false}, {TG_I4, false},   {TG_BOOL, false}, {TG_OBJECT, false}};
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(gather->parameters[i].kind, expected[i].first) << i;
    EXPECT_EQ(gather->parameters[i].by_ref, expected[i].second) << i;
    EXPECT_EQ(gather->parameters[i].fallback.has_value(), i >= 5) << i;
  }
  EXPECT_EQ(gather->result_kind, TG_BOOL);
  const binding::Member* clock =
      binding::FindMember(binding::Connect_v70Members(), "SetClock", TG_INVOKE_METHOD);
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->parameters[1].kind, TG_ARRAY);
  EXPECT_EQ(clock->parameters[1].element_kind, TG_DATE);
  EXPECT_TRUE(clock->parameters[1].by_ref);
}

}  // namespace
}  // namespace tallygate
