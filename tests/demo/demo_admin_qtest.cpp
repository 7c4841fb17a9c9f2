// The administration commands against tallygate-sim: every command's status
// line on success and on failure, over TCP and over the pseudo-terminal bus
// (message, voice and picture on the bus only), and the input checks that
// stop a command before it calls.
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>
#include <QTextStream>

#include "tallygate/host_services.h"
#include "tests/demo/demo_fixture.h"

namespace tallydemo::testing {
namespace {

using Sim = tallygate::testing::SimProcess;

struct Command {
  const char* button;
  bool serial_only;
  // Fills the fields and the terminal before the click.
  void (*prepare)(FrmDemo& window, Sim& sim);
  QString done;
  // How the failure is made: a fault rule for the sim, or else an address
  // the library refuses to send to.
  const char* fault;
  QString failed;
  // What the terminal shows afterwards (its status block), when not empty.
  const char* shown;
};

void Nothing(FrmDemo&, Sim&) {}

void Parameters(FrmDemo& window, Sim&) {
  Type(window, "TxtY", "05");
  Type(window, "Txt_Minute", "1440");
}

void Traditional(FrmDemo& window, Sim& sim) {
  Parameters(window, sim);
  Find<QRadioButton>(window, "OpFT")->setChecked(true);
}

void CardFields(FrmDemo& window, Sim&) {
  Type(window, "TxtCardNum", "00000300");
  Type(window, "TxtNo", "123");
  Type(window, "TxtNewAddr", "张三");
}

void EnrolledCard(FrmDemo& window, Sim& sim) {
  CardFields(window, sim);
  Type(window, "TxtNo", "00000123");
  window.link().Call("CardSendToMachine", {Variant(int16_t{1}), Variant("300"), Variant("123"),
                                           Variant(""), Variant(int16_t{0}), Variant("")});
}

void PresentCard(FrmDemo&, Sim& sim) { sim.Control("present-card 300"); }

void SingleRecord(FrmDemo& window, Sim&) {
  Click(window, "Command17");
  Type(window, "Text1", "0079A785070927093628");
}

void Message(FrmDemo& window, Sim&) {
  Click(window, "cmdSendMsg");
  Type(window, "TxtMsg", "你好");
  Type(window, "Text6", "5");
}

void Sound(FrmDemo& window, Sim&) { Type(window, "SoundNum", "3"); }

void Password(FrmDemo& window, Sim&) { Type(window, "Text8", "1234"); }

void StoredPassword(FrmDemo& window, Sim&) {
  window.link().Call("SetMachinePassword", {Variant(int16_t{1}), Variant("0042")});
}

void RingTimes(FrmDemo& window, Sim&) {
  Type(window, "TxtHour(0)", "8");
  Type(window, "TxtMin(0)", "30");
  Type(window, "TxtHour(1)", "");
  Type(window, "Text7", "2");
}

const Command kCommands[] = {
    {"Command12", false, Nothing, QStringLiteral("修改日期成功"), "ModifyDateTime",
     QStringLiteral("修改日期不成功"), "clock "},
    {"Cmd_Delay", false, Parameters, QStringLiteral("设置打卡延时成功!"), "RepairSystemParameter",
     QStringLiteral("设置打卡延时失败"), "parameters 050005A00000"},
    {"Command13", false, Traditional, QStringLiteral("考勤模式设置成功!"), "RepairSystemParameter",
     QStringLiteral("考勤模式设置失败!"), "parameters 050005A04000"},
    {"Command23", false, Parameters, QStringLiteral("门禁模式设置成功!"), "RepairSystemParameter",
     QStringLiteral("门禁模式设置失败!"), "parameters 050005A08000"},
    {"Command7", false, PresentCard, QStringLiteral("物理卡号:00000300"), "ReadCardNum",
     QStringLiteral("读取物理卡号不成功"), ""},
    {"Command14", false, CardFields, QStringLiteral("卡号:00000123发送成功!"), "CardSendToMachine",
     QStringLiteral("卡号:00000123发送不成功"), "card 0000012C staff 00000123 name D5C5C8FD00000000"},
    {"Command15", false, EnrolledCard, QStringLiteral("卡号:00000123清除成功"), "ClearName",
     QStringLiteral("卡号:00000123清除不成功"), ""},
    {"Command22", false, EnrolledCard, QStringLiteral("卡号:00000300存在"), "FindCard",
     QStringLiteral("通讯失败!"), ""},
    {"Command21", false, SingleRecord, QStringLiteral("发送成功"), "SendRecordToMachine",
     QStringLiteral("发送失败"), "records=1 "},
    {"Command26", true, Message, QStringLiteral(" 发送短信成功!"), "SendShortMsg",
     QStringLiteral("发送短信失败!"), "message \"你好\" for 5"},
    {"cmdGetSounds", true, Sound, QStringLiteral("语音发送成功！"), "GetSounds:next:bad-check",
     QStringLiteral("语音发送失败！"), "sound 3"},
    {"Command30", false, Password, QStringLiteral("设置密码成功"), "SetMachinePassword",
     QStringLiteral("设置失败"), "password 1234"},
    {"Command31", false, StoredPassword, QStringLiteral("读取密码成功0042"), nullptr,
     QStringLiteral("读取密码失败"), ""},
    {"cmdSetStorage_1", false, Nothing, QStringLiteral("已下发修改模式指令"), nullptr,
     QStringLiteral("下发修改模式指令失败"), "storage-mode=1"},
    {"CmdSetClock", false, RingTimes, QStringLiteral("成功"), "SetClock", QStringLiteral("不成功"),
     "ring-schedule 2 08:30 00:00 00:00"},
    {"Command24", false, Nothing, QStringLiteral("参数为：010019"), "ReadSystemParameter",
     QStringLiteral("读参数失败!"), ""},
};

}  // namespace

class DemoAdministration : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void StatusOnSuccessAndFailure_data();
  void StatusOnSuccessAndFailure();
  void StorageModeIsAMessageBox();
  void PictureDownload();
  void ChangeAddressMovesTheWindowToIt();
  void InputChecksStopBeforeTheCall();
  void LargeCardNumbersStayWhole();
  void SendSeveralResendsOnlyFailures();
  void PanelsOpenAndClose();

 private:
  std::unique_ptr<FrmDemo> Connected(bool tcp);
  std::string SimStatus() {
    std::string all;
    for (const std::string& line : sim_->ControlBlock("status")) all += line + "\n";
    return all;
  }

  FakeDesktop desktop_;
  DemoEnvironment env_;
  std::unique_ptr<Sim> sim_;
};

void DemoAdministration::initTestCase() {
  env_.Setup(desktop_);
  sim_ = StartSim();
}

void DemoAdministration::init() {
  env_.Reset();
  desktop_ = FakeDesktop();
  sim_->Control("set-records 0");
  sim_->Control("set-cards 0");
}

void DemoAdministration::cleanup() { sim_->Control("clear-faults"); }

std::unique_ptr<FrmDemo> DemoAdministration::Connected(bool tcp) {
  auto window = OpenWindow(desktop_, env_.folder());
  window->SetAddress(QStringLiteral("1"));
  if (tcp) {
    window->ConnectTcp(QStringLiteral("127.0.0.1"), QString::number(sim_->tcp_port()));
  } else {
    Click(*window, "tbComPort(3)");
  }
  return window;
}

void DemoAdministration::StatusOnSuccessAndFailure_data() {
  QTest::addColumn<int>("row");
  QTest::addColumn<bool>("tcp");
  for (int i = 0; i < static_cast<int>(std::size(kCommands)); ++i) {
    if (!kCommands[i].serial_only) QTest::addRow("%s tcp", kCommands[i].button) << i << true;
    QTest::addRow("%s pty", kCommands[i].button) << i << false;
  }
}

void DemoAdministration::StatusOnSuccessAndFailure() {
  QFETCH(int, row);
  QFETCH(bool, tcp);
  const Command& command = kCommands[row];
  const auto window = Connected(tcp);
  command.prepare(*window, *sim_);
  QVERIFY(Click(*window, command.button));
  QVERIFY2(Status(*window).startsWith(command.done), qPrintable(Status(*window)));
  if (*command.shown != '\0') {
    const std::string shown = SimStatus();
    QVERIFY2(shown.find(command.shown) != std::string::npos, shown.c_str());
  }
  QVERIFY(desktop_.boxes.empty());

  command.prepare(*window, *sim_);
  if (command.fault != nullptr) {
    const std::string rule = std::string(command.fault).find(':') == std::string::npos
                                 ? std::string(command.fault) + ":next:wrong-address"
                                 : command.fault;
    QVERIFY(sim_->Control("fault " + rule).rfind("ok", 0) == 0);
  } else {
    window->SetAddress(QStringLiteral("300"));
  }
  QVERIFY(Click(*window, command.button));
  QCOMPARE(Status(*window), command.failed);
}

void DemoAdministration::StorageModeIsAMessageBox() {
  const auto window = Connected(true);
  QVERIFY(Click(*window, "cmdGetStorage"));
  sim_->Control("fault GetStorageModel:next:wrong-address");
  QVERIFY(Click(*window, "cmdGetStorage"));
  QCOMPARE(desktop_.boxes.size(), size_t{2});
  QCOMPARE(desktop_.boxes[0].text, QStringLiteral("考勤机处于实时上传模式"));
  QCOMPARE(desktop_.boxes[1].text, QStringLiteral("读取失败"));
}

void DemoAdministration::PictureDownload() {
  const auto window = Connected(false);
  const QString picture = env_.path(QStringLiteral("picture.txt"));
  QFile file(picture);
  QVERIFY(file.open(QIODevice::WriteOnly));
  for (int i = 0; i < 32; ++i) file.write("00112233445566778899AABBCCDDEEFF\r\n");
  file.close();
  desktop_.next_file = picture;
  QVERIFY(Click(*window, "DOWNLOG"));
  QCOMPARE(desktop_.filters, QStringList{QStringLiteral("文本文件 (*.txt)")});
  QCOMPARE(Status(*window), QStringLiteral("下传图片成功!"));
  QVERIFY(SimStatus().find("picture-blocks=32") != std::string::npos);
  // A short file is an error of the call: reported, and the window goes on.
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("00112233445566778899AABBCCDDEEFF\r\n");
  file.close();
  QVERIFY(Click(*window, "DOWNLOG"));
  QVERIFY2(Status(*window).startsWith(QStringLiteral("下传图片失败!  ")), qPrintable(Status(*window)));
  QVERIFY(Status(*window).size() > 9);
  // Cancelling the dialog sends nothing.
  desktop_.next_file.clear();
  window->statusBar()->showMessage(QStringLiteral("unchanged"));
  QVERIFY(Click(*window, "DOWNLOG"));
  QCOMPARE(Status(*window), QStringLiteral("unchanged"));
}

void DemoAdministration::ChangeAddressMovesTheWindowToIt() {
  const auto window = Connected(true);
  QVERIFY(Click(*window, "Command16"));
  QCOMPARE(Status(*window), QStringLiteral("请输入考勤机新的地址。"));
  Type(*window, "TxtNewAddr", "2");
  QVERIFY(Click(*window, "Command16"));
  QCOMPARE(Status(*window), QStringLiteral("地址修改成功"));
  QCOMPARE(Find<QLineEdit>(*window, "TxtAddress")->text(), QStringLiteral("2"));
  QVERIFY(SimStatus().find("addr=2") != std::string::npos);
  Type(*window, "TxtNewAddr", "1");
  sim_->Control("fault RepairAddress:next:bad-check");  // its reply's address is the new one
  QVERIFY(Click(*window, "Command16"));
  QCOMPARE(Status(*window), QStringLiteral("地址修改不成功"));
  QCOMPARE(Find<QLineEdit>(*window, "TxtAddress")->text(), QStringLiteral("2"));
  QVERIFY(SimStatus().find("addr=1") != std::string::npos);  // it took the change anyway
}

void DemoAdministration::InputChecksStopBeforeTheCall() {
  const auto window = Connected(true);
  const std::string before = SimStatus();
  const struct {
    void (*fill)(FrmDemo&);
    const char* button;
    QString title;
    QString text;  // the box, or with an empty title the status line
  } rows[] = {
      {[](FrmDemo& w) { Type(w, "TxtCardNum", ""); }, "Command14", {}, QStringLiteral("请先读取物理卡号!")},
      {[](FrmDemo& w) { Type(w, "TxtCardNum", "0000300"); }, "Command15", kProgramTitle,
       QStringLiteral("物理卡号要是8位")},
      {[](FrmDemo& w) { Type(w, "TxtCardNum", "123456789a"); }, "Command22", kProgramTitle,
       QStringLiteral("物理卡号要是8位")},
      {[](FrmDemo& w) { Type(w, "TxtCardNum", "00000300"); Type(w, "TxtNo", ""); }, "Command14",
       kProgramTitle, QStringLiteral("请输入该卡的工号！")},
      {[](FrmDemo& w) { Type(w, "Txt_Minute", "1441"); }, "Cmd_Delay", kProgramTitle,
       QStringLiteral("时间不能大于1440钟")},
      {[](FrmDemo& w) { Type(w, "Text1", "0079A78507092709362"); }, "Command21",
       QStringLiteral("温馨提示"), QStringLiteral("输入数据格式不正确，请对照上面的说明重新输入！")},
      {[](FrmDemo& w) { Type(w, "Text8", "12a"); }, "Command30", QStringLiteral("提示"),
       QStringLiteral("密码密码为不大于4位的数字")},
      {[](FrmDemo& w) { Type(w, "Text8", "12345"); }, "Command30", QStringLiteral("提示"),
       QStringLiteral("密码密码为不大于4位的数字")},
      {[](FrmDemo& w) { Type(w, "TxtHour(4)", "24"); }, "CmdSetClock", kProgramTitle,
       QStringLiteral("请输入‘０ → ２３  之间的数字！")},
  };
  for (const auto& row : rows) {
    desktop_.boxes.clear();
    window->statusBar()->showMessage(QStringLiteral("unchanged"));
    row.fill(*window);
    QVERIFY(Click(*window, row.button));
    if (row.title.isEmpty()) {
      QCOMPARE(Status(*window), row.text);
      QVERIFY(desktop_.boxes.empty());
    } else {
      QCOMPARE(desktop_.boxes.size(), size_t{1});
      QCOMPARE(desktop_.boxes[0].title, row.title);
      QCOMPARE(desktop_.boxes[0].text, row.text);
    }
  }
  QCOMPARE(SimStatus(), before);  // nothing reached the terminal
  // The mode buttons send any interval; the punch-interval limit is theirs alone.
  QVERIFY(Click(*window, "Command13"));
  QCOMPARE(Status(*window), QStringLiteral("考勤模式设置成功!"));
}

void DemoAdministration::LargeCardNumbersStayWhole() {
  const auto window = Connected(true);
  sim_->Control("present-card 305419896");  // 0x12345678: nine digits
  QVERIFY(Click(*window, "Command7"));
  QCOMPARE(Status(*window), QStringLiteral("物理卡号:305419896"));
  Type(*window, "TxtNo", "7");
  QVERIFY(Click(*window, "Command14"));
  QCOMPARE(Status(*window), QStringLiteral("卡号:00000007发送成功!"));
  QVERIFY(SimStatus().find("card 12345678 staff 00000007") != std::string::npos);
  QVERIFY(Click(*window, "Command22"));
  QCOMPARE(Status(*window), QStringLiteral("卡号:305419896存在"));
  // A read whose reply names another terminal leaves the field empty.
  sim_->Control("fault ReadCardNum:next:wrong-address");
  QVERIFY(Click(*window, "Command7"));
  QCOMPARE(Find<QLineEdit>(*window, "TxtCardNum")->text(), QString());
  QCOMPARE(Status(*window), QStringLiteral("读取物理卡号不成功"));
}

void DemoAdministration::SendSeveralResendsOnlyFailures() {
  const auto window = Connected(true);
  const QString data = env_.path(QStringLiteral("records.txt"));
  QFile file(data);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("0010012D687240315083005199\r\n0010012D688240315083105199\r\n0010012D689240315083205199\r\n");
  file.close();
  QVERIFY(Click(*window, "Command17"));
  desktop_.next_file = data;
  QVERIFY(Click(*window, "Command18"));
  QCOMPARE(desktop_.filters, QStringList{QStringLiteral("Text (*.txt)")});
  auto* list = Find<QListWidget>(*window, "List1");
  QCOMPARE(list->count(), 3);
  QCOMPARE(list->selectedItems().size(), 3);
  QCOMPARE(Find<QLabel>(*window, "DataCount")->text(), QStringLiteral("3"));
  sim_->Control("fault SendRecordToMachine:2:wrong-address");
  QVERIFY(Click(*window, "Command19"));
  QCOMPARE(Status(*window), QStringLiteral("第：2条发送成功"));
  QVERIFY(!list->item(0)->isSelected());
  QVERIFY(list->item(1)->isSelected());
  QVERIFY(!list->item(2)->isSelected());
  // The terminal kept the second record although its reply was spoilt.
  QVERIFY(SimStatus().find("records=3 ") != std::string::npos);
  QVERIFY(Click(*window, "Command19"));  // only the failed line again
  QCOMPARE(Status(*window), QStringLiteral("第：1条发送成功"));
  QVERIFY(SimStatus().find("records=4 ") != std::string::npos);
}

void DemoAdministration::PanelsOpenAndClose() {
  const auto window = OpenWindow(desktop_, env_.folder());
  window->resize(1200, 700);
  window->SetAddress(QStringLiteral("7"));
  auto* upload = Find<QWidget>(*window, "Picture1");
  QVERIFY(Click(*window, "Command17"));
  QVERIFY(upload->isVisibleTo(window.get()));
  QCOMPARE(upload->x(), 0);
  QCOMPARE(Find<QLineEdit>(*window, "Text4")->text(), QStringLiteral("7"));
  QVERIFY(Click(*window, "Command20"));
  QVERIFY(upload->isHidden());
  QVERIFY(Click(*window, "Command17"));
  QVERIFY(Click(*window, "cmdClosePicture1"));
  QVERIFY(upload->isHidden());
  auto* message = Find<QWidget>(*window, "Picture3");
  QVERIFY(Click(*window, "cmdSendMsg"));
  QVERIFY(message->isVisibleTo(window.get()));
  QVERIFY(Click(*window, "Command27"));
  QVERIFY(message->isHidden());
}

}  // namespace tallydemo::testing

QTEST_MAIN(tallydemo::testing::DemoAdministration)
#include "demo_admin_qtest.moc"
