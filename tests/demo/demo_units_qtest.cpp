// The window's pieces that need no terminal: the record layout, field
// checks and words, Public.Sys as an initialisation file, the choice of
// text editor, the TCP state texts.
#include <QTemporaryDir>
#include <QTest>

#include "demo/connection_panel.h"
#include "demo/editor_command.h"
#include "demo/field_checks.h"
#include "demo/mod_demo.h"
#include "demo/public_sys.h"
#include "demo/record_format.h"
#include "tests/demo/demo_fixture.h"

Q_DECLARE_METATYPE(tallydemo::RecordLayout)

namespace tallydemo {
namespace {

using Separators = std::array<QString, 9>;

RecordLayout Layout(Separators separators, bool decimal = false, bool full_year = false,
                    std::array<QString, 8> names = InitialFieldNames()) {
  return RecordLayout{names, separators, decimal, full_year};
}

}  // namespace

class DemoUnits : public QObject {
  Q_OBJECT

 private slots:
  void DataBaseFormLayouts_data();
  void DataBaseFormLayouts();
  void DataBaseFormCardForms_data();
  void DataBaseFormCardForms();
  void FieldValidation_data();
  void FieldValidation();
  void ConversionsAndWords();
  void RingTimes();
  void CardNumbers();
  void PublicSysReadsAsProfileFunctions();
  void PublicSysWritesInPlace();
  void PublicSysRefusesLineBreaks();
  void EditorChoice();
  void TcpStateTexts();
};

void DemoUnits::DataBaseFormLayouts_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<RecordLayout>("layout");
  QTest::addColumn<QString>("expected");
  const QString example = QStringLiteral("0010012D687240315083005199");
  const Separators none{};
  QTest::newRow("initial names, no separators")
      << example << Layout(none) << QStringLiteral("0010012D687240315083005");
  QTest::newRow("operator's layout")
      << example << Layout({"", "", "", "-", "-", " ", ":", ":", ""})
      << QStringLiteral("0010012D68724-03-15 08:30:05");
  // Decimal card and full year: p = 16, year 14-17, month 18, flag from 28.
  const QString wide = QStringLiteral("001000123456720240315083005199");
  std::array<QString, 8> with_flag = InitialFieldNames();
  with_flag[7] = QStringLiteral("标志");
  QTest::newRow("decimal card, full year, flag")
      << wide << Layout({"", "|", "|", "|", "|", "|", "|", "|", "<"}, true, true, with_flag)
      << QStringLiteral("001|0001234567|2024|03|15|08|30|199<");
  std::array<QString, 8> odd = {" 秒 ", "机号", "工号", "", "", "", "", ""};
  QTest::newRow("trimmed, unknown and empty names keep their separators")
      << example << Layout({"[", "/", "/", ".", "", "", "", "", "]"}, false, false, odd)
      << QStringLiteral("[05/001/.]");
  QTest::newRow("short line gives short pieces")
      << QStringLiteral("0010012") << Layout({"", "-", "-", "-", "-", "-", "-", "-", "!"})
      << QStringLiteral("001-0012------!");
  QTest::newRow("empty line gives separators only")
      << QString() << Layout({"a", "b", "", "", "", "", "", "", "z"}) << QStringLiteral("abz");
}

void DemoUnits::DataBaseFormLayouts() {
  QFETCH(QString, line);
  QFETCH(RecordLayout, layout);
  QFETCH(QString, expected);
  QCOMPARE(DataBaseForm(line, layout), expected);
}

// Every field after the card sits where the card's own width puts it: 8
// hexadecimal digits, 10 decimal digits, or 11 characters with a minus sign.
void DemoUnits::DataBaseFormCardForms_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<bool>("decimal");
  QTest::addColumn<bool>("full_year");
  QTest::addColumn<QString>("expected");
  const struct {
    const char* name;
    const char* line;
    bool decimal;
    bool full_year;
    const char* expected;
  } rows[] = {
      {"hexadecimal", "0010012D687240315083005199", false, false, "001|0012D687|24|03|15|08|30|05|199"},
      {"decimal, positive", "0010001234567240315083005199", true, false,
       "001|0001234567|24|03|15|08|30|05|199"},
      {"decimal, negative", "001-0000000001240315083005FF99", true, false,
       "001|-0000000001|24|03|15|08|30|05|FF99"},
      {"decimal, negative, full year", "001-000000000120240315083005FF99", true, true,
       "001|-0000000001|2024|03|15|08|30|05|FF99"},
      {"hexadecimal, full year", "0010012D68720240315083005199", false, true,
       "001|0012D687|2024|03|15|08|30|05|199"},
      {"a character beyond Latin-1 takes one place", "00号0012D687240315083005199", false, false,
       "00号|0012D687|24|03|15|08|30|05|199"},
  };
  for (const auto& row : rows) {
    QTest::newRow(row.name) << QString::fromUtf8(row.line) << row.decimal << row.full_year
                            << QString::fromUtf8(row.expected);
  }
}

void DemoUnits::DataBaseFormCardForms() {
  QFETCH(QString, line);
  QFETCH(bool, decimal);
  QFETCH(bool, full_year);
  QFETCH(QString, expected);
  // A layout holds eight fields: the initial eight, then the flag bytes.
  const Separators bars{"", "|", "|", "|", "|", "|", "|", "|", ""};
  const std::array<QString, 8> flag = {QStringLiteral("标志"), {}, {}, {}, {}, {}, {}, {}};
  const QString got = DataBaseForm(line, Layout(bars, decimal, full_year)) + u'|' +
                      DataBaseForm(line, Layout({}, decimal, full_year, flag));
  QCOMPARE(got, expected);
}

void DemoUnits::FieldValidation_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("message");
  const struct {
    const char* field;
    const char* text;
    QString message;
  } rows[] = {
      {"address", "1", {}},          {"address", "255", {}},
      {"address", "", {}},           {"address", "0", kAddressRangeMessage},
      {"address", "256", kAddressRangeMessage}, {"address", "-1", kAddressRangeMessage},
      {"address", "abc", kAddressRangeMessage}, {"hour", "23", {}},
      {"hour", "", {}},              {"hour", "24", kHourRangeMessage},
      {"hour", "-1", kHourRangeMessage}, {"hour", "abc", kNumberMessage},
      {"minute", "59", {}},          {"minute", "60", kMinuteRangeMessage},
      {"minute", "abc", kNumberMessage},
  };
  for (const auto& row : rows) {
    QTest::addRow("%s %s", row.field, row.text) << row.field << row.text << row.message;
  }
}

void DemoUnits::FieldValidation() {
  QFETCH(QString, field);
  QFETCH(QString, text);
  QFETCH(QString, message);
  const QString got = field == u"address" ? AddressFieldProblem(text)
                      : field == u"hour"  ? HourFieldProblem(text)
                                          : MinuteFieldProblem(text);
  QCOMPARE(got, message);
}

void DemoUnits::ConversionsAndWords() {
  QCOMPARE(ToInteger16(QStringLiteral(" 18 ")), std::optional<int16_t>(18));
  QCOMPARE(ToInteger16(QStringLiteral("2.5")), std::optional<int16_t>(2));  // half to even
  QCOMPARE(ToInteger16(QStringLiteral("40000")), std::nullopt);
  QCOMPARE(ToInteger16(QStringLiteral("1x")), std::nullopt);
  QCOMPARE(RelayWord(QStringLiteral("05")), QStringLiteral("0500"));
  QCOMPARE(RelayWord(QStringLiteral("123456")), QStringLiteral("1234"));
  QCOMPARE(IntervalWord(30), QStringLiteral("001E"));
  QCOMPARE(IntervalWord(1440), QStringLiteral("05A0"));
  QCOMPARE(NormalizeStaffNumberText(QStringLiteral(" 123 ")), std::optional<QString>("00000123"));
  QCOMPARE(NormalizeStaffNumberText(QStringLiteral("1234567890")), std::optional<QString>("12345678"));
  QCOMPARE(NormalizeStaffNumberText(QString()), std::nullopt);
}

void DemoUnits::RingTimes() {
  QCOMPARE(RingTime(QStringLiteral("8"), QStringLiteral("30")), std::optional<double>(510.0 / 1440));
  QCOMPARE(RingTime(QString(), QString()), std::optional<double>(0.0));
  QCOMPARE(RingTime(QStringLiteral("24"), QStringLiteral("0")), std::nullopt);
  QCOMPARE(RingTime(QStringLiteral("7.5"), QStringLiteral("0")), std::nullopt);
  QCOMPARE(RingFieldProblem(QStringLiteral("7.5"), true), kNumberMessage);
  QCOMPARE(RingFieldProblem(QStringLiteral("60"), false), kMinuteRangeMessage);
}

void DemoUnits::CardNumbers() {
  // Eight digits as read; larger and negative numbers are never cut.
  QCOMPARE(PaddedCardNumber(QStringLiteral("300")), QStringLiteral("00000300"));
  QCOMPARE(PaddedCardNumber(QStringLiteral("305419896")), QStringLiteral("305419896"));
  QCOMPARE(PaddedCardNumber(QStringLiteral("-1")), QStringLiteral("-0000001"));
  QVERIFY(IsCardNumberText(QStringLiteral("00000300")));
  QVERIFY(IsCardNumberText(QStringLiteral("-2147483648")));
  QVERIFY(!IsCardNumberText(QStringLiteral("300")));
  QVERIFY(!IsCardNumberText(QStringLiteral("123456789ab")));
}

void DemoUnits::PublicSysReadsAsProfileFunctions() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Public.Sys"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("; kept\r\n[Other]\r\nIsCheck=9\r\n[q7r4demo]\r\n  isCHECK =  1  \r\n"
             "0TxtF={  }\r\n1TxtF={}\r\nNoValue\r\n[Q7R4Demo]\r\nYearCheck=1\r\n");
  file.close();
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("IsCheck"), path), QStringLiteral("1"));
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("0TxtF"), path), QStringLiteral("{  }"));
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("1TxtF"), path), QStringLiteral("{}"));
  // Only the first section of a name counts.
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("YearCheck"), path), QString());
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("NoValue"), path), QString());
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("x"), dir.filePath("none")), QString());
}

void DemoUnits::PublicSysWritesInPlace() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Public.Sys"));
  QVERIFY(WritePublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("IsCheck"), QStringLiteral("0"), path));
  QVERIFY(WritePublicSys(QStringLiteral("Other"), QStringLiteral("a"), QStringLiteral("b"), path));
  QVERIFY(WritePublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("0TxtF"), QStringLiteral("{ - }"), path));
  QVERIFY(WritePublicSys(QStringLiteral("q7r4demo"), QStringLiteral("ISCHECK"), QStringLiteral("1"), path));
  QCOMPARE(testing::ReadText(path),
           QStringLiteral("[Q7R4Demo]\nISCHECK=1\n0TxtF={ - }\n[Other]\na=b\n"));
  QCOMPARE(ReadPublicSys(QStringLiteral("Q7R4Demo"), QStringLiteral("0TxtF"), path), QStringLiteral("{ - }"));
  // A value longer than the 2000-character buffer comes back cut.
  QVERIFY(WritePublicSys(QStringLiteral("S"), QStringLiteral("k"), QString(2500, QLatin1Char('x')), path));
  QCOMPARE(ReadPublicSys(QStringLiteral("S"), QStringLiteral("k"), path).size(), 1999);
}

void DemoUnits::PublicSysRefusesLineBreaks() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Public.Sys"));
  QVERIFY(WriteIniValue(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
  const QString before = testing::ReadText(path);
  QVERIFY(!WriteIniValue(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v\n[Evil]")));
  QVERIFY(!WriteIniValue(path, QStringLiteral("S]"), QStringLiteral("k"), QStringLiteral("v")));
  QVERIFY(!WriteIniValue(path, QStringLiteral("S"), QStringLiteral("k=x"), QStringLiteral("v")));
  QCOMPARE(testing::ReadText(path), before);
}

void DemoUnits::EditorChoice() {
  const auto find = [](const QString& name) {
    return name == u"xdg-open" ? QStringLiteral("/usr/bin/xdg-open") : QString();
  };
  const auto none = [](const QString&) { return QString(); };
  QProcessEnvironment env;
  env.insert(QStringLiteral("EDITOR"), QStringLiteral("vi"));
  env.insert(QStringLiteral("VISUAL"), QStringLiteral("\"my editor\" --wait"));
  const QString file = QStringLiteral("/tmp/a b; rm -rf ~.txt");
  // Without a display the user's editor, the file one argument, no shell.
  QCOMPARE(EditorCommandFor(file, env, find),
           (std::optional<EditorCommand>{{QStringLiteral("my editor"), {QStringLiteral("--wait"), file}}}));
  env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":0"));
  QCOMPARE(EditorCommandFor(file, env, find),
           (std::optional<EditorCommand>{{QStringLiteral("/usr/bin/xdg-open"), {file}}}));
  env.remove(QStringLiteral("VISUAL"));
  QCOMPARE(EditorCommandFor(file, env, none),
           (std::optional<EditorCommand>{{QStringLiteral("vi"), {file}}}));
  QCOMPARE(EditorCommandFor(file, QProcessEnvironment(), none), std::nullopt);
}

void DemoUnits::TcpStateTexts() {
  QCOMPARE(TcpStateText(0), QStringLiteral("连接已关闭"));
  QCOMPARE(TcpStateText(7), QStringLiteral("已连接"));
  QCOMPARE(TcpStateText(8), QStringLiteral("同级人员正在关闭连接"));
  QCOMPARE(TcpStateText(9), QStringLiteral("错误"));
  QCOMPARE(TcpStateText(10), QStringLiteral("未知状态"));
  QCOMPARE(TcpStateText(-1), QStringLiteral("未知状态"));
}

}  // namespace tallydemo


QTEST_GUILESS_MAIN(tallydemo::DemoUnits)
#include "demo_units_qtest.moc"
