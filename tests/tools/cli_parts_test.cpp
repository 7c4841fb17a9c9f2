// The parts of the tallygate program: script words, argument forms, JSON.
#include <gtest/gtest.h>

#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/json_output.h"
#include "tools/tallygate/member_lookup.h"
#include "tools/tallygate/shell_words.h"

namespace tallygate::cli {
namespace {

using namespace std::string_literals;

TEST(ShellWordsTest, QuotesAsAShellDoes) {
  struct Case {
    std::string line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"ClearFlag 1", {"ClearFlag", "1"}},
      {"  a   b\tc  ", {"a", "b", "c"}},
      {"say 'two words' \"and three more\"", {"say", "two words", "and three more"}},
      {"x '' \"\"", {"x", "", ""}},
      {"a'b'\"c\"d", {"abcd"}},
      {R"(a\ b \&H1F)", {"a b", "&H1F"}},
      {R"('\&H1F' "\\&x")", {R"(\&H1F)", R"(\&x)"}},
      {R"("a\"b" "\$x \n")", {"a\"b", R"($x \n)"}},
      {R"('it''s')", {"its"}},
      {"# not special here", {"#", "not", "special", "here"}},
      {"a\0b c"s, {"a\0b"s, "c"}},
  };
  for (const Case& c : cases) {
    const SplitResult result = SplitShellWords(c.line);
    EXPECT_EQ(result.error, "") << c.line;
    EXPECT_EQ(result.words, c.words) << c.line;
  }
  for (const char* bad : {"'open", "\"open", "end\\", "a \"b\\\""}) {
    EXPECT_NE(SplitShellWords(bad).error, "") << bad;
  }
}

TEST(CallArgumentsTest, FormsOfWords) {
  const CallArguments args =
      MakeCallArguments({"text", "&start", "&", "~", "[08:00, 12:30]", "[]", "\\&H1F", "\\\\x",
                         "\\~", "~x", ""});
  ASSERT_EQ(args.values.size(), 11u);
  EXPECT_EQ(args.values[0].text(), "text");
  ASSERT_EQ(args.variables.size(), 2u);
  EXPECT_EQ(args.values[1].kind(), TG_BYREF);
  EXPECT_EQ(args.values[1].ref(), args.variables[0]->get());
  EXPECT_EQ(args.variables[0]->text(), "start");
  EXPECT_EQ(args.variables[1]->kind(), TG_TEXT);
  EXPECT_EQ(args.variables[1]->text(), "");
  EXPECT_TRUE(args.values[3].is_missing());
  ASSERT_EQ(args.values[4].kind(), TG_ARRAY);
  const std::vector<Variant> times = args.values[4].items();
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0].kind(), TG_DATE);
  EXPECT_EQ(ChangeType(times[1], TG_TEXT).text(), "12:30:00");
  EXPECT_TRUE(args.values[5].items().empty());
  EXPECT_EQ(args.values[6].text(), "&H1F");
  EXPECT_EQ(args.values[7].text(), "\\x");
  EXPECT_EQ(args.values[8].text(), "~");
  EXPECT_EQ(args.values[9].text(), "~x");
  EXPECT_EQ(args.values[10].text(), "");
}

TEST(CallArgumentsTest, CardsInHexAndByReferenceMarks) {
  const std::pair<std::string, std::optional<std::string>> cards[] = {
      {"0x0012D687", "1234567"}, {"hex:0012d687", "1234567"}, {"0XFFFFFFFF", "-1"},
      {"0x80000000", "-2147483648"}, {"0x12D687", std::nullopt}, {"hex:0012D68G", std::nullopt},
      {"0x0012D6870", std::nullopt}, {"1234567", std::nullopt}};
  for (const auto& [word, decimal] : cards) EXPECT_EQ(CardFromHex(word), decimal) << word;

  const CallArguments args =
      MakeCallArguments({"@x", "&H1F", "&o17", "&Hello", "\\@x", "0x0012D687", "\\0x0012D687"});
  ASSERT_EQ(args.variables.size(), 2u) << "@x and &Hello";
  EXPECT_EQ(args.variables[0]->text(), "x");
  EXPECT_EQ(args.variables[1]->text(), "Hello");
  EXPECT_EQ(args.values[1].text(), "&H1F");
  EXPECT_EQ(args.values[2].text(), "&o17");
  EXPECT_EQ(args.values[4].text(), "@x");
  EXPECT_EQ(args.values[5].text(), "1234567");
  EXPECT_EQ(args.values[6].text(), "0x0012D687");
}

TEST(CallArgumentsTest, IntegerParametersTakeWholeNumbersInRange) {
  const binding::Member* clear = FindMember("clearflag", CallKind::kCall);
  ASSERT_NE(clear, nullptr);
  for (const std::string good : {"1", "-32768", "32767", "+7", "&H7FFF", "&HFFFF", "0x00000001"}) {
    EXPECT_NO_THROW(MakeCallArguments({good}, clear)) << good;
  }
  for (const std::string bad : {"1.5", "32768", "", " 1", "1e2", "abc", "&H10000", "0x00010000"}) {
    EXPECT_THROW(MakeCallArguments({bad}, clear), ArgumentError) << bad;
    EXPECT_NO_THROW(MakeCallArguments({bad}, clear, true)) << bad << " with basic conversions";
  }
}

TEST(CallArgumentsTest, MalformedArraysAreUsageErrorsAndBadDatesTypeMismatches) {
  EXPECT_THROW(MakeCallArguments({"[08:00"}), UsageError);
  try {
    MakeCallArguments({"[08:00,later]"});
    ADD_FAILURE() << "a text that is no date went into a date array";
  } catch (const BasicError& error) {
    EXPECT_EQ(error.number(), err::kTypeMismatch);
  }
}

TEST(JsonOutputTest, StringsAreEscaped) {
  struct Case {
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"plain", R"("plain")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {"line\nbreak\r\ttab", R"("line\nbreak\r\ttab")"},
      {"nul\0here"s, R"("nul\u0000here")"},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\x7f\""},
      {"中文 ok", "\"中文 ok\""},
      {"bad\xff\xfe!", "\"bad\uFFFD\uFFFD!\""},
      {"cut \xe4\xb8", "\"cut \uFFFD\""},
      {"overlong \xc0\xaf", "\"overlong \uFFFD\uFFFD\""},
      {"surrogate \xed\xa0\x80", "\"surrogate \uFFFD\uFFFD\uFFFD\""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.json;
}

TEST(JsonOutputTest, ValuesByKind) {
  EXPECT_EQ(JsonValue(Variant()), "null");
  EXPECT_EQ(JsonValue(Variant::Missing()), "null");
  EXPECT_EQ(JsonValue(Variant(int16_t{-1})), "-1");
  EXPECT_EQ(JsonValue(Variant(70000)), "70000");
  EXPECT_EQ(JsonValue(Variant(uint8_t{255})), "255");
  EXPECT_EQ(JsonValue(Variant(0.25)), "0.25");
  EXPECT_EQ(JsonValue(Variant(1e20)), "100000000000000000000");
  EXPECT_EQ(JsonValue(Variant(true)), "true");
  EXPECT_EQ(JsonValue(Variant(false)), "false");
  EXPECT_EQ(JsonValue(Variant("x")), R"("x")");
  EXPECT_EQ(JsonValue(Variant(Date{0.5})), R"("12:00:00")");
  EXPECT_EQ(JsonValue(Variant(std::vector<Variant>{Variant(1), Variant("a")})), R"([1, "a"])");
  std::vector<std::unique_ptr<Variant>> byref;
  byref.push_back(std::make_unique<Variant>(300));
  byref.push_back(std::make_unique<Variant>("ok"));
  EXPECT_EQ(ResultLine("GatherRecordSum", Variant(true), byref),
            R"({"call": "GatherRecordSum", "result": true, "byref": [300, "ok"]})");
  EXPECT_EQ(ErrorLine("Mode", 13, "Type mismatch"),
            R"({"call": "Mode", "error": {"number": 13, "description": "Type mismatch"}})");
}

}  // namespace
}  // namespace tallygate::cli
