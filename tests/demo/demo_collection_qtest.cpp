// Collection and data views against tallygate-sim, over TCP and over the
// pseudo-terminal bus: collecting and reformatting records, the card list,
// browsing, verification, the counts, the flag bits and clearing.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <regex>

#include "demo/form_context.h"
#include "tallygate/host_services.h"
#include "tests/demo/demo_fixture.h"

namespace tallydemo::testing {

class DemoCollection : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void CollectsAndReformats_data() { Transports(); }
  void CollectsAndReformats();
  void CollectsEveryPageWithProgress_data() { Transports(); }
  void CollectsEveryPageWithProgress();
  void FailedCollectionLeavesNothing();
  void AddressIsCheckedFirst();
  void CardListAndBrowsing_data() { Transports(); }
  void CardListAndBrowsing();
  void Verification();
  void Counts();
  void FlagBitsAndClearing_data() { Transports(); }
  void FlagBitsAndClearing();

 private:
  void Transports();
  // A window on terminal 1 over the transport of the current data row.
  std::unique_ptr<FrmDemo> Connected();
  void Sim(const std::string& line) { QVERIFY(sim_->Control(line).rfind("ok", 0) == 0); }
  std::string SimStatus() {
    std::string all;
    for (const std::string& line : sim_->ControlBlock("status")) all += line + "\n";
    return all;
  }
  QString File(const QString& name) { return ReadText(env_.folder() + "/" + name); }

  FakeDesktop desktop_;
  DemoEnvironment env_;
  std::unique_ptr<tallygate::testing::SimProcess> sim_;
};

void DemoCollection::initTestCase() {
  env_.Setup(desktop_);
  sim_ = StartSim({"--records", "300", "--cards", "20"});
}

void DemoCollection::init() {
  env_.Reset();
  desktop_ = FakeDesktop();
  Sim("set-records 300");
  Sim("set-cards 20");
}

void DemoCollection::cleanup() { sim_->Control("clear-faults"); }

void DemoCollection::Transports() {
  QTest::addColumn<bool>("tcp");
  QTest::newRow("tcp") << true;
  QTest::newRow("pty") << false;
}

std::unique_ptr<FrmDemo> DemoCollection::Connected() {
  auto window = OpenWindow(desktop_, env_.folder());
  window->SetAddress(QStringLiteral("1"));
  if (QTest::currentDataTag() == QByteArray("pty")) {
    Click(*window, "tbComPort(3)");
    if (Status(*window) != QStringLiteral("串口:3 设置成功!")) qFatal("COM3 did not open");
  } else {
    window->ConnectTcp(QStringLiteral("127.0.0.1"), QString::number(sim_->tcp_port()));
    if (Find<QLabel>(*window, "lblTcpState")->text() != QStringLiteral("连接成功！")) {
      qFatal("TCP did not connect");
    }
  }
  return window;
}

void DemoCollection::CollectsAndReformats() {
  const auto window = Connected();
  Sim("set-records 0");
  // The example record: terminal 1, card 0012D687, 2024-03-15 08:30:05.
  QVERIFY(IsTrue(window->link().Call(
      "SendRecordToMachine", {Variant(int16_t{1}), Variant("0012D687"), Variant("240315083005"),
                              Variant("01"), Variant("99")})));
  Type(*window, "TxtF(3)", "-");
  Type(*window, "TxtF(4)", "-");
  Type(*window, "TxtF(5)", " ");
  Type(*window, "TxtF(6)", ":");
  Type(*window, "TxtF(7)", ":");
  QVERIFY(Click(*window, "Command4"));
  QCOMPARE(Status(*window), QStringLiteral(" 采集到的记录数为：1  "));
  QCOMPARE(File("DataRecordSet_original.txt"), QStringLiteral("0010012D687240315083005199\r\n"));
  QCOMPARE(File("DataRecordSet.txt"), QStringLiteral("0010012D68724-03-15 08:30:05\r\n"));
  QCOMPARE(window->DataBaseForm(QStringLiteral("0010012D687240315083005199")),
           QStringLiteral("0010012D68724-03-15 08:30:05"));
  QVERIFY(Find<QProgressBar>(*window, "ProgressBar1")->isHidden());
  // Full year and decimal card numbers move the pieces along.
  Find<QCheckBox>(*window, "YearCheck")->setChecked(true);
  Find<QCheckBox>(*window, "IsCheck")->setChecked(true);
  QVERIFY(Click(*window, "Command4"));
  const QString century = QString::number(QDate::currentDate().year()).left(2);
  QCOMPARE(File("DataRecordSet_original.txt"),
           QStringLiteral("0010001234567") + century + QStringLiteral("240315083005199\r\n"));
  QCOMPARE(File("DataRecordSet.txt"),
           QStringLiteral("0010001234567") + century + QStringLiteral("24-03-15 08:30:05\r\n"));
}

void DemoCollection::CollectsEveryPageWithProgress() {
  const auto window = Connected();
  auto* bar = Find<QProgressBar>(*window, "ProgressBar1");
  QSignalSpy moved(bar, &QProgressBar::valueChanged);
  bool shown_during_call = false;
  connect(bar, &QProgressBar::valueChanged, this, [&] { shown_during_call |= bar->isVisible(); });
  window->show();
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  QVERIFY(Click(*window, "Command4"));
  QCOMPARE(Status(*window), QStringLiteral(" 采集到的记录数为：300  "));
  QCOMPARE(bar->maximum(), 301);
  QVERIFY(moved.size() > 100);
  QCOMPARE(moved.last().at(0).toInt(), 299);
  QVERIFY(shown_during_call);
  QVERIFY(bar->isHidden());
  const QStringList lines = File("DataRecordSet.txt").split(QStringLiteral("\r\n"));
  QCOMPARE(lines.size(), 301);  // and the empty text after the last line end
  QVERIFY(lines[0].startsWith(QStringLiteral("0010")));
  QCOMPARE(lines[299].size(), 23);  // address, card, date, time
}

void DemoCollection::FailedCollectionLeavesNothing() {
  const auto window = Connected();
  QFile old(env_.folder() + "/DataRecordSet.txt");
  QVERIFY(old.open(QIODevice::WriteOnly));
  old.write("stale\r\n");
  old.close();
  Sim("fault GatherData:next:wrong-address");
  QVERIFY(Click(*window, "Command4"));
  QCOMPARE(Status(*window), QStringLiteral("采集不成功  "));
  QCOMPARE(File("DataRecordSet.txt"), QString());
  // No records: an empty file and the count 0.
  Sim("set-records 0");
  QVERIFY(Click(*window, "Command4"));
  QCOMPARE(Status(*window), QStringLiteral(" 采集到的记录数为：0  "));
  QCOMPARE(File("DataRecordSet.txt"), QString());
}

void DemoCollection::AddressIsCheckedFirst() {
  const auto window = OpenWindow(desktop_, env_.folder());
  for (const char* button : {"Command4", "cmdCheckData", "Command9", "Command8", "Command10", "Command11"}) {
    for (const char* address : {"300", "-1", "x"}) {
      desktop_.boxes.clear();
      window->statusBar()->showMessage(QStringLiteral("unchanged"));
      window->SetAddress(QString::fromUtf8(address));
      QVERIFY(Click(*window, button));
      QCOMPARE(desktop_.boxes.size(), size_t{1});
      QCOMPARE(desktop_.boxes[0].text, kEnterAddressMessage);
      QCOMPARE(desktop_.boxes[0].style, int{TG_MB_ICON_QUESTION});
      QCOMPARE(Status(*window), QStringLiteral("unchanged"));
    }
  }
  QVERIFY(!QFile::exists(env_.folder() + "/DataRecordSet.txt"));
}

void DemoCollection::CardListAndBrowsing() {
  const auto window = Connected();
  for (const char* button : {"Command1", "Command3"}) {
    QVERIFY(Click(*window, button));
    QCOMPARE(Status(*window), QStringLiteral("没有采集数据可浏览，请先采集。"));
  }
  QVERIFY(desktop_.opened.isEmpty());
  QVERIFY(Click(*window, "Cmd_GetNameList"));
  QCOMPARE(Status(*window), QStringLiteral("  采集到的记录数为：20,"));
  QCOMPARE(File("NameList.txt").count(QStringLiteral("\r\n")), 20);
  QVERIFY(Click(*window, "Command3"));
  QCOMPARE(desktop_.opened, QStringList{env_.folder() + "/NameList.txt"});
  Sim("fault GatherSendCardData:next:wrong-address");
  QVERIFY(Click(*window, "Cmd_GetNameList"));
  QCOMPARE(Status(*window), QStringLiteral("采集不成功,"));
}

void DemoCollection::Verification() {
  const auto window = Connected();
  Sim("set-records 0");
  const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss"));
  QVERIFY(IsTrue(window->link().Call("SendRecordToMachine",
                                     {Variant(int16_t{1}), Variant("0012D687"), Text(now)})));
  QVERIFY(Click(*window, "Command4"));
  QVERIFY(Click(*window, "cmdCheckData"));
  QCOMPARE(Status(*window), QStringLiteral("数据合法！"));
  // The terminal now holds more than the file.
  Sim("set-records 5");
  QVERIFY(Click(*window, "cmdCheckData"));
  QVERIFY2(Status(*window).startsWith(QStringLiteral("数据非法，")), qPrintable(Status(*window)));
  QVERIFY(Status(*window).size() > 5);
  Sim("fault GatherRecordSum:next:wrong-address");
  QVERIFY(Click(*window, "cmdCheckData"));
  QVERIFY2(Status(*window).startsWith(QStringLiteral("校验数据出错，")), qPrintable(Status(*window)));
}

void DemoCollection::Counts() {
  const auto window = Connected();
  QVERIFY(Click(*window, "Command5"));
  QCOMPARE(Find<QLabel>(*window, "Label")->text(), QStringLiteral("300 条"));
  QVERIFY(Click(*window, "Command6"));
  QCOMPARE(Status(*window), QStringLiteral("采集成功"));
  QCOMPARE(Find<QLabel>(*window, "Label7")->text(), QStringLiteral("20 条"));
  // Failures are said as such; the card count stays as it was.
  Sim("fault GatherRecordSum:next:wrong-address");
  QVERIFY(Click(*window, "Command5"));
  QCOMPARE(Find<QLabel>(*window, "Label")->text(), QStringLiteral("0"));
  QCOMPARE(Status(*window), QStringLiteral("采集失败"));
  window->statusBar()->clearMessage();
  Sim("fault GatherSendCardSum:next:wrong-address");
  QVERIFY(Click(*window, "Command6"));
  QCOMPARE(Status(*window), QStringLiteral("采集失败"));
  QCOMPARE(Find<QLabel>(*window, "Label7")->text(), QStringLiteral("20 条"));
}

void DemoCollection::FlagBitsAndClearing() {
  const auto window = Connected();
  Sim("present-card 300 kind=9");
  QVERIFY(Click(*window, "Command9"));
  QCOMPARE(Status(*window), QStringLiteral("标志位：09"));

  QVERIFY(Click(*window, "Command8"));
  QCOMPARE(Status(*window), QStringLiteral("清除卡标志成功"));
  Sim("fault ClearFlag:next:wrong-address");
  QVERIFY(Click(*window, "Command8"));
  QCOMPARE(Status(*window), QStringLiteral("清除卡标志不成功"));

  const struct {
    const char* button;
    QString question;
    const char* counted;  // what the sim's status shows after clearing
    QString done;
    QString failed;
  } clearing[] = {
      {"Command10", QStringLiteral("注意：确定要删除考勤机中所有的名单表与考勤记录吗？"), "cards=0",
       QStringLiteral("删除名单表成功"), QStringLiteral("删除名单表不成功")},
      {"Command11", QStringLiteral("注意：确定它将删除考勤机中所有的考勤记录吗？"), "records=0",
       QStringLiteral("删除记录成功"), QStringLiteral("删除记录不成功")},
  };
  for (const auto& row : clearing) {
    // No: nothing sent, the status line as it was.
    window->statusBar()->showMessage(QStringLiteral("unchanged"));
    desktop_.boxes.clear();
    desktop_.answers = {TG_ANSWER_NO};
    QVERIFY(Click(*window, row.button));
    QCOMPARE(desktop_.boxes.size(), size_t{1});
    QCOMPARE(desktop_.boxes[0].text, row.question);
    QCOMPARE(desktop_.boxes[0].style, int{TG_MB_YES_NO | TG_MB_ICON_CRITICAL});
    QCOMPARE(Status(*window), QStringLiteral("unchanged"));
    QVERIFY(SimStatus().find(row.counted) == std::string::npos);
    QVERIFY(Click(*window, row.button));  // answered Yes
    QCOMPARE(Status(*window), row.done);
    QVERIFY(SimStatus().find(row.counted) != std::string::npos);
    Sim(std::string("fault ") + (row.button == std::string("Command10") ? "ClearNameList" : "ClearRecord") +
        ":next:wrong-address");
    QVERIFY(Click(*window, row.button));
    QCOMPARE(Status(*window), row.failed);
  }
}

}  // namespace tallydemo::testing

QTEST_MAIN(tallydemo::testing::DemoCollection)
#include "demo_collection_qtest.moc"
