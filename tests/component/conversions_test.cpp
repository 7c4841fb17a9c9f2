// The conversion table of docs/conversions.md, row by row.
#include "tallygate/conversions.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tallygate/basic_error.h"
#include "tallygate/date.h"
#include "tallygate/progress.h"

namespace tallygate {
namespace {

Date D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return *MakeDate({y, mo, d, h, mi, s});
}
Date T(int h, int mi, int s = 0) { return D(1899, 12, 30, h, mi, s); }

// What a conversion gives: a value, or an error number.
struct Expect {
  Expect(Variant v) : value(std::move(v)) {}
  static Expect Error(int32_t n) {
    Expect e{Variant()};
    e.value.reset();
    e.error = n;
    return e;
  }
  std::optional<Variant> value;
  int32_t error = 0;
};
const Expect kMismatch = Expect::Error(err::kTypeMismatch);
const Expect kOverflow = Expect::Error(err::kOverflow);

struct Case {
  Variant from;
  int32_t to;
  Expect expect;
};

std::string Show(const Variant& v) {
  switch (v.kind()) {
    case TG_EMPTY: return "Empty";
    case TG_BYTE: return "Byte " + std::to_string(v.byte_value());
    case TG_I2: return "Integer " + std::to_string(v.i2());
    case TG_I4: return "Long " + std::to_string(v.i4());
    case TG_R4: return "Single " + std::to_string(v.r4());
    case TG_R8: return "Double " + std::to_string(v.r8());
    case TG_BOOL: return std::string("Boolean ") + (v.boolean() ? "True" : "False");
    case TG_TEXT: return "String \"" + std::string(v.text()) + "\"";
    case TG_DATE: return "Date " + std::to_string(v.date().serial);
    case TG_OBJECT: return v.object() != nullptr ? "Object" : "Nothing";
    case TG_ARRAY: {
      std::string out = "Array [";
      for (const Variant& item : v.items()) out += Show(item) + "; ";
      return out + "]";
    }
    default: return "kind " + std::to_string(v.kind());
  }
}

// Same kind and same value; a Boolean must hold exactly -1 or 0.
bool Same(const Variant& a, const Variant& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case TG_BOOL: return a.value().u.boolean == b.value().u.boolean;
    case TG_R4: return a.r4() == b.r4();
    case TG_TEXT: return a.text() == b.text();
    case TG_DATE: return std::abs(a.date().serial - b.date().serial) < 1e-9;
    case TG_OBJECT: return a.object() == b.object();
    case TG_ARRAY: {
      const auto x = a.items();
      const auto y = b.items();
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i) {
        if (!Same(x[i], y[i])) return false;
      }
      return true;
    }
    default: return Show(a) == Show(b);
  }
}

Variant Items(std::vector<Variant> items) { return Variant(std::move(items)); }

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const std::string label = Show(c.from) + " to kind " + std::to_string(c.to);
    try {
      const Variant got = ChangeType(c.from, c.to);
      if (c.expect.value) {
        EXPECT_TRUE(Same(got, *c.expect.value)) << label << ": got " << Show(got) << ", want "
                                                << Show(*c.expect.value);
      } else {
        ADD_FAILURE() << label << ": got " << Show(got) << ", want error " << c.expect.error;
      }
    } catch (const BasicError& error) {
      EXPECT_EQ(error.number(), c.expect.error) << label << ": " << error.description();
      if (error.number() == c.expect.error) {
        EXPECT_EQ(error.description(), StandardDescription(error.number())) << label;
      }
    }
  }
}

TEST(ConversionTable, FromEmpty) {
  Check({
      {Variant(), TG_BYTE, Variant(uint8_t{0})},
      {Variant(), TG_I2, Variant(int16_t{0})},
      {Variant(), TG_I4, Variant(0)},
      {Variant(), TG_R4, Variant(0.0f)},
      {Variant(), TG_R8, Variant(0.0)},
      {Variant(), TG_BOOL, Variant(false)},
      {Variant(), TG_TEXT, Variant("")},
      {Variant(), TG_DATE, Variant(Date{0})},
      {Variant(), TG_OBJECT, Variant(nullptr)},
      {Variant(), TG_ARRAY, kMismatch},
  });
}

TEST(ConversionTable, FromNumbers) {
  Check({
      // Rounding halves to even, and ranges.
      {Variant(2.5), TG_I2, Variant(int16_t{2})},
      {Variant(3.5), TG_I2, Variant(int16_t{4})},
      {Variant(-2.5), TG_I4, Variant(-2)},
      {Variant(2.6f), TG_I2, Variant(int16_t{3})},
      {Variant(254.5), TG_BYTE, Variant(uint8_t{254})},
      {Variant(255.5), TG_BYTE, kOverflow},
      {Variant(-0.4), TG_BYTE, Variant(uint8_t{0})},
      {Variant(-0.6), TG_BYTE, kOverflow},
      {Variant(int16_t{-1}), TG_BYTE, kOverflow},
      {Variant(32767.5), TG_I2, kOverflow},
      {Variant(70000), TG_I2, kOverflow},
      {Variant(int16_t{-32768}), TG_I4, Variant(-32768)},
      {Variant(2147483647.4), TG_I4, Variant(2147483647)},
      {Variant(2147483648.0), TG_I4, kOverflow},
      {Variant(uint8_t{200}), TG_I2, Variant(int16_t{200})},
      {Variant(1.5), TG_R4, Variant(1.5f)},
      {Variant(1e39), TG_R4, kOverflow},
      {Variant(70000), TG_R8, Variant(70000.0)},
      // Booleans.
      {Variant(0.0), TG_BOOL, Variant(false)},
      {Variant(-0.0001), TG_BOOL, Variant(true)},
      {Variant(uint8_t{1}), TG_BOOL, Variant(true)},
      // Plain decimal text.
      {Variant(int16_t{-5}), TG_TEXT, Variant("-5")},
      {Variant(uint8_t{255}), TG_TEXT, Variant("255")},
      {Variant(2147483647), TG_TEXT, Variant("2147483647")},
      {Variant(0.1 + 0.2), TG_TEXT, Variant("0.3")},
      {Variant(-0.5), TG_TEXT, Variant("-0.5")},
      {Variant(1e20), TG_TEXT, Variant("100000000000000000000")},
      {Variant(1.5e-7), TG_TEXT, Variant("0.00000015")},
      {Variant(123456789012345678.0), TG_TEXT, Variant("123456789012346000")},
      {Variant(0.1f), TG_TEXT, Variant("0.1")},
      {Variant(3.0f), TG_TEXT, Variant("3")},
      {Variant(1.0 / 3), TG_TEXT, Variant("0.333333333333333")},
      // Dates from serials.
      {Variant(45000.5), TG_DATE, Variant(Date{45000.5})},
      {Variant(int16_t{-1}), TG_DATE, Variant(Date{-1})},
      {Variant(3e6), TG_DATE, kOverflow},
      {Variant(-700000.0), TG_DATE, kOverflow},
      // Neither objects nor arrays.
      {Variant(int16_t{1}), TG_OBJECT, kMismatch},
      {Variant(1.0), TG_ARRAY, kMismatch},
  });
}

TEST(ConversionTable, FromBoolean) {
  Check({
      {Variant(true), TG_BYTE, kOverflow},
      {Variant(false), TG_BYTE, Variant(uint8_t{0})},
      {Variant(true), TG_I2, Variant(int16_t{-1})},
      {Variant(true), TG_I4, Variant(-1)},
      {Variant(true), TG_R8, Variant(-1.0)},
      {Variant(true), TG_TEXT, Variant("True")},
      {Variant(false), TG_TEXT, Variant("False")},
      {Variant(true), TG_DATE, Variant(Date{-1})},
      {Variant(true), TG_OBJECT, kMismatch},
  });
}

TEST(ConversionTable, FromText) {
  Check({
      // Numbers.
      {Variant(" 42 "), TG_I2, Variant(int16_t{42})},
      {Variant("\t+7\n"), TG_I2, Variant(int16_t{7})},
      {Variant("-3.5"), TG_I2, Variant(int16_t{-4})},
      {Variant("2.5"), TG_I2, Variant(int16_t{2})},
      {Variant("1e3"), TG_I4, Variant(1000)},
      {Variant("1D2"), TG_I4, Variant(100)},
      {Variant("-1.5e2"), TG_R8, Variant(-150.0)},
      {Variant("&H1F"), TG_BYTE, Variant(uint8_t{31})},
      {Variant("&hffff"), TG_I2, Variant(int16_t{-1})},
      {Variant("&H10000"), TG_I4, Variant(65536)},
      {Variant("&O17"), TG_I2, Variant(int16_t{15})},
      {Variant("0.1"), TG_R4, Variant(0.1f)},
      {Variant(""), TG_I2, kMismatch},
      {Variant("   "), TG_I4, kMismatch},
      {Variant("12abc"), TG_I2, kMismatch},
      {Variant("1 2"), TG_I2, kMismatch},
      {Variant("abc"), TG_R8, kMismatch},
      {Variant("&H"), TG_I2, kMismatch},
      {Variant("True"), TG_I2, kMismatch},
      {Variant("40000"), TG_I2, kOverflow},
      {Variant("256"), TG_BYTE, kOverflow},
      {Variant("-1"), TG_BYTE, kOverflow},
      {Variant("1e400"), TG_R8, kOverflow},
      {Variant("1e39"), TG_R4, kOverflow},
      // Booleans.
      {Variant("True"), TG_BOOL, Variant(true)},
      {Variant(" false "), TG_BOOL, Variant(false)},
      {Variant("TRUE"), TG_BOOL, Variant(true)},
      {Variant("1"), TG_BOOL, Variant(true)},
      {Variant("-1"), TG_BOOL, Variant(true)},
      {Variant("0"), TG_BOOL, Variant(false)},
      {Variant("yes"), TG_BOOL, kMismatch},
      {Variant(""), TG_BOOL, kMismatch},
      // Dates.
      {Variant("08:30"), TG_DATE, Variant(T(8, 30))},
      {Variant("8:05:09"), TG_DATE, Variant(T(8, 5, 9))},
      {Variant(" 23:59:59 "), TG_DATE, Variant(T(23, 59, 59))},
      {Variant("2024-02-29"), TG_DATE, Variant(D(2024, 2, 29))},
      {Variant("2024-2-9 13:45"), TG_DATE, Variant(D(2024, 2, 9, 13, 45))},
      {Variant("2024-02-29T13:45:10"), TG_DATE, Variant(D(2024, 2, 29, 13, 45, 10))},
      {Variant("1800-01-01 06:00"), TG_DATE, Variant(D(1800, 1, 1, 6, 0))},
      {Variant("2023-02-29"), TG_DATE, kMismatch},
      {Variant("24:00"), TG_DATE, kMismatch},
      {Variant("12:60"), TG_DATE, kMismatch},
      {Variant("12:30:"), TG_DATE, kMismatch},
      {Variant("24-01-01"), TG_DATE, kMismatch},
      {Variant("2024-01-01 "), TG_DATE, Variant(D(2024, 1, 1))},
      {Variant("2024-01-0108:00"), TG_DATE, kMismatch},
      {Variant("noon"), TG_DATE, kMismatch},
      {Variant(""), TG_DATE, kMismatch},
      {Variant("45000"), TG_DATE, kMismatch},
      // Itself; no object.
      {Variant(std::string("a\0b", 3)), TG_TEXT, Variant(std::string("a\0b", 3))},
      {Variant("x"), TG_OBJECT, kMismatch},
      {Variant("[08:00]"), TG_ARRAY, kMismatch},
  });
}

TEST(ConversionTable, FromDate) {
  Check({
      {Variant(T(8, 30)), TG_TEXT, Variant("08:30:00")},
      {Variant(D(2024, 2, 29)), TG_TEXT, Variant("2024-02-29")},
      {Variant(D(2024, 2, 29, 13, 45)), TG_TEXT, Variant("2024-02-29 13:45:00")},
      {Variant(Date{0}), TG_TEXT, Variant("00:00:00")},
      {Variant(Date{-1.25}), TG_TEXT, Variant("1899-12-29 06:00:00")},
      {Variant(Date{0.9999999999}), TG_TEXT, Variant("1899-12-31")},
      {Variant(Date{45000.75}), TG_R8, Variant(45000.75)},
      {Variant(Date{45000.75}), TG_I4, Variant(45001)},
      {Variant(Date{45000.5}), TG_I4, Variant(45000)},
      {Variant(Date{45000.75}), TG_I2, kOverflow},
      {Variant(Date{0.25}), TG_BOOL, Variant(true)},
      {Variant(Date{0}), TG_BOOL, Variant(false)},
      {Variant(Date{1}), TG_OBJECT, kMismatch},
  });
}

TEST(ConversionTable, FromObjectsMissingArraysAndReferences) {
  tg_dispatch* object = tg_progress_object_create(nullptr);
  const Variant held(object);
  object->vtbl->release(object);  // `held` keeps it alive
  Variant text_variable("5");
  Check({
      {held, TG_OBJECT, held},
      {held, TG_I2, kMismatch},
      {held, TG_TEXT, kMismatch},
      {held, TG_BOOL, kMismatch},
      {Variant::Missing(), TG_I2, kMismatch},
      {Variant::Missing(), TG_TEXT, kMismatch},
      {Variant::Missing(), TG_OBJECT, kMismatch},
      {Items({Variant("08:00")}), TG_I2, kMismatch},
      {Items({Variant("08:00")}), TG_TEXT, kMismatch},
      {Variant::Ref(text_variable), TG_I2, Variant(int16_t{5})},
      {Variant::Ref(text_variable), TG_TEXT, Variant("5")},
  });
}

TEST(ConversionTable, ArraysConvertItemByItem) {
  const Variant texts = Items({Variant("08:00"), Variant("12:30"), Variant(0.75)});
  EXPECT_TRUE(Same(ChangeType(texts, TG_ARRAY, TG_DATE),
                   Items({Variant(T(8, 0)), Variant(T(12, 30)), Variant(T(18, 0))})));
  EXPECT_TRUE(Same(ChangeType(texts, TG_ARRAY), texts)) << "no item kind keeps the items";
  EXPECT_TRUE(Same(ChangeType(Items({}), TG_ARRAY, TG_DATE), Items({})));
  try {
    ChangeType(Items({Variant("08:00"), Variant("8 o'clock")}), TG_ARRAY, TG_DATE);
    ADD_FAILURE() << "an item that is no date converted";
  } catch (const BasicError& error) {
    EXPECT_EQ(error.number(), err::kTypeMismatch);
  }
}

TEST(DateTest, PartsAndSerialsAgree) {
  struct PartsCase {
    DateParts parts;
    double serial;
  };
  const PartsCase cases[] = {
      {{1899, 12, 30, 0, 0, 0}, 0},
      {{1899, 12, 31, 0, 0, 0}, 1},
      {{1899, 12, 29, 6, 0, 0}, -1.25},
      {{1900, 1, 1, 12, 0, 0}, 2.5},
      {{2000, 2, 29, 18, 0, 0}, 36585.75},
      {{100, 1, 1, 0, 0, 0}, -657434},
      {{9999, 12, 31, 0, 0, 0}, 2958465},
  };
  for (const PartsCase& c : cases) {
    ASSERT_TRUE(MakeDate(c.parts).has_value()) << c.serial;
    EXPECT_DOUBLE_EQ(MakeDate(c.parts)->serial, c.serial);
    EXPECT_EQ(SplitDate(Date{c.serial}), c.parts) << c.serial;
  }
  EXPECT_FALSE(MakeDate({99, 12, 31, 0, 0, 0}));
  EXPECT_FALSE(MakeDate({2024, 4, 31, 0, 0, 0}));
  EXPECT_FALSE(MakeDate({1900, 2, 29, 0, 0, 0})) << "1900 was not a leap year";
  EXPECT_FALSE(IsDateSerial(2958466));
  EXPECT_TRUE(IsDateSerial(2958465.99));
}

TEST(ValueTest, ChangeTypeThroughTheCInterfaceReportsTheError) {
  tg_value source;
  tg_value destination;
  tg_value_init(&source);
  tg_value_init(&destination);
  tg_error error{};
  ASSERT_EQ(tg_value_set_text(&source, "12x", -1), 0);
  EXPECT_EQ(tg_value_change_type(&destination, &source, TG_I2, TG_EMPTY, &error), 13);
  EXPECT_EQ(error.number, 13);
  EXPECT_STREQ(error.description, "Type mismatch");
  EXPECT_EQ(destination.kind, TG_EMPTY);
  tg_error_clear(&error);
  ASSERT_EQ(tg_value_set_text(&source, " 12 ", -1), 0);
  EXPECT_EQ(tg_value_change_type(&destination, &source, TG_I2, TG_EMPTY, &error), 0);
  EXPECT_EQ(error.number, 0);
  EXPECT_EQ(destination.kind, TG_I2);
  EXPECT_EQ(destination.u.i2, 12);
  tg_value_clear(&source);
  tg_value_clear(&destination);
}

}  // namespace
}  // namespace tallygate
