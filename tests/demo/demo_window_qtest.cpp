// The window itself: start-up defaults, the settings kept between runs, the
// port toolbar, serial and TCP selection, connecting, field validation, and
// refusing commands while a call runs. Against tallygate-sim.
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <cstring>

#include "demo/field_checks.h"
#include "tallygate/host_services.h"
#include "tests/demo/demo_fixture.h"

namespace tallydemo::testing {
namespace {

// The library's object, except that it refuses Mode = 1, as a library
// without TCP does.
struct RefusingTcp {
  tg_dispatch base;
  tg_dispatch* inner;
  uint32_t refs;
};

uint32_t AddRef(tg_dispatch* self) { return ++reinterpret_cast<RefusingTcp*>(self)->refs; }

uint32_t Release(tg_dispatch* self) {
  auto* object = reinterpret_cast<RefusingTcp*>(self);
  const uint32_t left = --object->refs;
  if (left == 0) {
    object->inner->vtbl->release(object->inner);
    delete object;
  }
  return left;
}

int32_t Invoke(tg_dispatch* self, const char* name, int32_t flags, const tg_value* args,
               int32_t count, tg_value* result, tg_error* error) {
  auto* object = reinterpret_cast<RefusingTcp*>(self);
  if ((flags & TG_INVOKE_PROPERTY_PUT) != 0 && strcasecmp(name, "Mode") == 0 && count == 1 &&
      args[0].kind == TG_I2 && args[0].u.i2 == 1) {
    if (error != nullptr) *error = {438, -1, strdup("Object doesn't support this property or method")};
    return 438;
  }
  return object->inner->vtbl->invoke(object->inner, name, flags, args, count, result, error);
}

const tg_dispatch_vtbl kRefusingVtbl = {AddRef, Release, Invoke};

QImage ImageOf(const QIcon& icon) { return icon.pixmap(24, 24).toImage(); }

}  // namespace

class DemoWindow : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void StartUpDefaults();
  void SavedPortOpensAtStartUp();
  void SettingsSurviveANormalClose();
  void ExitButtonSavesNothing();
  void PortToolbarReportsFailure();
  void TcpSelectionSwitchesControls();
  void LibraryWithoutTcpKeepsSerial();
  void ConnectShowsStateAndToggles();
  void FieldValidationOnLeavingAField();
  void CommandsWaitForTheRunningOne();
  void AboutBoxThroughTheHost();
  void QtMessageBoxesFollowTheStyle();

 private:
  FakeDesktop desktop_;
  DemoEnvironment env_;
  std::unique_ptr<tallygate::testing::SimProcess> sim_;
};

void DemoWindow::initTestCase() {
  env_.Setup(desktop_);
  sim_ = StartSim({"--records", "5"});
  qputenv("TALLYGATE_COM4", "/nonexistent/tty-demo");
}

void DemoWindow::init() {
  env_.Reset();
  desktop_ = FakeDesktop();
  qputenv("TALLYGATE_COM2", "/nonexistent/tty-demo");
}

void DemoWindow::StartUpDefaults() {
  const auto window = OpenWindow(desktop_, env_.folder());
  const struct {
    const char* name;
    QString text;
    int max_length;
  } fields[] = {
      {"TxtAddress", "18", 3},  {"txtIP", "192.168.1.201", 32767}, {"txtTcpPort", "1001", 32767},
      {"SleepDate", "2", 32767}, {"txtInterval", "24", 32767},     {"TxtCardNum", "", 11},
      {"TxtNo", "", 8},          {"TxtNewAddr", "", 3},            {"Txt_Minute", "0000", 4},
      {"TxtY", "00", 4},         {"Text7", "1", 32767},            {"SoundNum", "1", 32767},
      {"Text8", "", 32767},      {"Text4", "", 3},                 {"Text1", "", 20},
      {"TxtMsg", "", 16},        {"Text6", "", 32767},             {"TxtT(0)", "机号", 32767},
      {"TxtT(7)", "秒", 32767},  {"TxtF(8)", "", 32767},           {"TxtHour(9)", "0", 32767},
      {"TxtMin(0)", "0", 32767},
  };
  for (const auto& field : fields) {
    auto* edit = Find<QLineEdit>(*window, field.name);
    QVERIFY2(edit != nullptr, field.name);
    QCOMPARE(edit->text(), field.text);
    QCOMPARE(edit->maxLength(), field.max_length);
  }
  QCOMPARE(Find<QLineEdit>(*window, "TxtAddress")->toolTip(), QStringLiteral("请输入“0-99”之间的数！"));
  QCOMPARE(Find<QLabel>(*window, "Label")->text(), QStringLiteral("000"));
  QVERIFY(Find<QLabel>(*window, "lbl_DllVer")->text().startsWith(QStringLiteral("V7.4.2")));
  QVERIFY(Find<QRadioButton>(*window, "optCom")->isChecked());
  QVERIFY(Find<QRadioButton>(*window, "OpJT")->isChecked());
  for (const char* name : {"txtIP", "txtTcpPort", "cmdConnectNet"}) {
    QVERIFY2(!Find<QWidget>(*window, name)->isEnabled(), name);
  }
  QVERIFY(!Find<QTimer>(*window, "TimerState")->isActive());
  for (const char* name : {"ProgressBar1", "Picture1", "Picture3"}) {
    QVERIFY2(Find<QWidget>(*window, name)->isHidden(), name);
  }
  auto* storage = Find<QComboBox>(*window, "cmbStorageModel");
  QCOMPARE(storage->count(), 2);
  QCOMPARE(storage->itemText(0), QStringLiteral("实时"));
  QCOMPARE(storage->currentIndex(), 0);
  // Port 2 was tried and failed: released, image 3.
  auto* com2 = Find<QToolButton>(*window, "tbComPort(2)");
  QVERIFY(!com2->isChecked());
  QCOMPARE(ImageOf(com2->icon()), ImageOf(QIcon(":/demo/port_failed.png")));
  QCOMPARE(ImageOf(Find<QToolButton>(*window, "tbComPort(1)")->icon()),
           ImageOf(QIcon(":/demo/port_neutral.png")));
  QVERIFY(desktop_.boxes.empty());
}

void DemoWindow::SavedPortOpensAtStartUp() {
  QSettings(QStringLiteral("TallyDemo")).setValue(QStringLiteral("Com/Value"), QStringLiteral("3"));
  const auto window = OpenWindow(desktop_, env_.folder());
  auto* com3 = Find<QToolButton>(*window, "tbComPort(3)");
  QVERIFY(com3->isChecked());
  QCOMPARE(ImageOf(com3->icon()), ImageOf(QIcon(":/demo/port_opened.png")));
}

void DemoWindow::SettingsSurviveANormalClose() {
  {
    const auto window = OpenWindow(desktop_, env_.folder());
    QVERIFY(Click(*window, "tbComPort(3)"));
    QCOMPARE(Status(*window), QStringLiteral("串口:3 设置成功!"));
    QVERIFY(Find<QToolButton>(*window, "tbComPort(3)")->isChecked());
    QVERIFY(!Find<QToolButton>(*window, "tbComPort(2)")->isChecked());
    Type(*window, "TxtAddress", "7");
    Type(*window, "txtIP", "10.0.0.5");
    Type(*window, "txtTcpPort", "2001");
    Type(*window, "TxtF(3)", "  ");
    Type(*window, "TxtF(6)", ":");
    Find<QCheckBox>(*window, "IsCheck")->setChecked(true);
    QVERIFY(window->close());
  }
  const QString sys = ReadText(env_.folder() + "/Public.Sys");
  for (const char* line : {"[Q7R4Demo]", "IsCheck=1", "YearCheck=0", "3TxtF={  }", "6TxtF={:}", "0TxtF={}"}) {
    QVERIFY2(sys.contains(QString::fromUtf8(line) + "\n"), line);
  }
  const auto window = OpenWindow(desktop_, env_.folder());
  QCOMPARE(Find<QLineEdit>(*window, "TxtAddress")->text(), QStringLiteral("7"));
  QCOMPARE(Find<QLineEdit>(*window, "txtIP")->text(), QStringLiteral("10.0.0.5"));
  QCOMPARE(Find<QLineEdit>(*window, "txtTcpPort")->text(), QStringLiteral("2001"));
  QCOMPARE(Find<QLineEdit>(*window, "TxtF(3)")->text(), QStringLiteral("  "));
  QCOMPARE(Find<QLineEdit>(*window, "TxtF(6)")->text(), QStringLiteral(":"));
  QVERIFY(Find<QCheckBox>(*window, "IsCheck")->isChecked());
  QVERIFY(!Find<QCheckBox>(*window, "YearCheck")->isChecked());
  // The port chosen last opens again.
  QCOMPARE(QSettings(QStringLiteral("TallyDemo")).value("Com/Value").toString(), QStringLiteral("3"));
  QVERIFY(Find<QToolButton>(*window, "tbComPort(3)")->isChecked());
}

void DemoWindow::ExitButtonSavesNothing() {
  const auto window = OpenWindow(desktop_, env_.folder());
  Type(*window, "TxtAddress", "5");
  QVERIFY(Click(*window, "tbComPort(3)"));  // saves Com and Address
  Type(*window, "TxtAddress", "9");
  Type(*window, "txtIP", "10.1.1.1");
  QVERIFY(Click(*window, "Cmd_Exit"));
  QVERIFY(!window->link());
  QVERIFY(window->close());
  QSettings settings(QStringLiteral("TallyDemo"));
  QCOMPARE(settings.value("Address/Value").toString(), QStringLiteral("5"));
  QCOMPARE(settings.value("Com/Value").toString(), QStringLiteral("3"));
  QVERIFY(!settings.contains("TallyIP/Value"));
  QVERIFY(!QFile::exists(env_.folder() + "/Public.Sys"));
}

void DemoWindow::PortToolbarReportsFailure() {
  const auto window = OpenWindow(desktop_, env_.folder());
  QVERIFY(Click(*window, "tbComPort(4)"));
  QCOMPARE(Status(*window), QStringLiteral("串口:4 设置失败!"));
  auto* com4 = Find<QToolButton>(*window, "tbComPort(4)");
  QVERIFY(!com4->isChecked());
  QCOMPARE(ImageOf(com4->icon()), ImageOf(QIcon(":/demo/port_neutral.png")));
  QCOMPARE(ImageOf(Find<QToolButton>(*window, "tbComPort(2)")->icon()),
           ImageOf(QIcon(":/demo/port_neutral.png")));
}

void DemoWindow::TcpSelectionSwitchesControls() {
  const auto window = OpenWindow(desktop_, env_.folder());
  const char* tcp_only[] = {"txtIP", "txtTcpPort", "cmdConnectNet"};
  const char* serial_only[] = {"tbComPort", "DOWNLOG", "cmdSendMsg", "cmdGetSounds"};
  for (const bool tcp : {true, false, true}) {
    Find<QRadioButton>(*window, tcp ? "optTcp" : "optCom")->setChecked(true);
    for (const char* name : tcp_only) QCOMPARE(Find<QWidget>(*window, name)->isEnabled(), tcp);
    for (const char* name : serial_only) QCOMPARE(Find<QWidget>(*window, name)->isEnabled(), !tcp);
    QCOMPARE(Find<QTimer>(*window, "TimerState")->isActive(), tcp);
    QCOMPARE(NumberOf(window->link().Call("Mode").result), std::optional<int32_t>(tcp ? 1 : 0));
  }
}

void DemoWindow::LibraryWithoutTcpKeepsSerial() {
  QString problem;
  LinkObject real = LinkObject::Create(&problem);
  QVERIFY2(real, qPrintable(problem));
  tg_dispatch* inner = real.dispatch().get();
  inner->vtbl->add_ref(inner);
  auto* refusing = new RefusingTcp{{&kRefusingVtbl}, inner, 1};
  real.Release();
  FrmDemo window(LinkObject(tallygate::DispatchRef::Adopt(&refusing->base)), desktop_, env_.folder());
  Find<QRadioButton>(window, "optTcp")->setChecked(true);
  QCOMPARE(desktop_.boxes.size(), size_t{1});
  QCOMPARE(desktop_.boxes[0].title, QStringLiteral("提示"));
  QCOMPARE(desktop_.boxes[0].text,
           QStringLiteral("您所使用的动态库不支持TCP通讯!\n请使用V7.2以上版本的 'TALLYGATE_V70.dll' 动态库(2007年8月推出)"));
  QVERIFY(Find<QRadioButton>(window, "optCom")->isChecked());
  QVERIFY(Find<QWidget>(window, "tbComPort")->isEnabled());
  QVERIFY(!Find<QWidget>(window, "txtIP")->isEnabled());
  QVERIFY(!Find<QTimer>(window, "TimerState")->isActive());
}

void DemoWindow::ConnectShowsStateAndToggles() {
  const auto window = OpenWindow(desktop_, env_.folder());
  Find<QRadioButton>(*window, "optTcp")->setChecked(true);
  auto* state = Find<QLabel>(*window, "lblTcpState");
  auto* button = Find<QPushButton>(*window, "cmdConnectNet");
  Type(*window, "txtIP", "127.0.0.1");
  Type(*window, "txtTcpPort", QString::number(sim_->tcp_port()));
  QVERIFY(Click(*window, "cmdConnectNet"));
  QCOMPARE(state->text(), QStringLiteral("连接成功！"));
  QCOMPARE(button->text(), QStringLiteral("断开连接"));
  QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("已连接"), 10000);  // the 2 s timer
  QVERIFY(Click(*window, "cmdConnectNet"));
  QCOMPARE(state->text(), QStringLiteral("连接已断开"));
  QCOMPARE(button->text(), QStringLiteral("连接考勤机"));
  QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("连接已关闭"), 10000);
  Type(*window, "txtIP", "127.0.0.x");
  QVERIFY(Click(*window, "cmdConnectNet"));
  QCOMPARE(state->text(), QStringLiteral("连接失败！"));
  QCOMPARE(button->text(), QStringLiteral("连接考勤机"));
}

void DemoWindow::FieldValidationOnLeavingAField() {
  const auto window = OpenWindow(desktop_, env_.folder());
  const auto leave = [](QLineEdit* field, Qt::FocusReason reason) {
    QFocusEvent event(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(field, &event);
  };
  const struct {
    const char* field;
    const char* text;
    QString message;
    const char* left;
  } rows[] = {
      {"TxtAddress", "255", {}, "255"},
      {"TxtAddress", "", {}, ""},
      {"TxtAddress", "256", kAddressRangeMessage, ""},
      {"TxtAddress", "0", kAddressRangeMessage, ""},
      {"TxtHour(3)", "24", kHourRangeMessage, "24"},
      {"TxtHour(3)", "23", {}, "23"},
      {"TxtMin(9)", "60", kMinuteRangeMessage, "60"},
      {"TxtMin(9)", "abc", kNumberMessage, "abc"},
  };
  for (const auto& row : rows) {
    desktop_.boxes.clear();
    auto* field = Find<QLineEdit>(*window, row.field);
    field->setText(row.text);
    leave(field, Qt::TabFocusReason);
    QCOMPARE(desktop_.boxes.size(), size_t{row.message.isEmpty() ? 0u : 1u});
    if (!row.message.isEmpty()) {
      QCOMPARE(desktop_.boxes[0].text, row.message);
      QCOMPARE(desktop_.boxes[0].style, int{TG_MB_ICON_QUESTION});
    }
    QCOMPARE(field->text(), QString::fromUtf8(row.left));
  }
  // Losing the focus to another window is not leaving the field.
  desktop_.boxes.clear();
  auto* hour = Find<QLineEdit>(*window, "TxtHour(0)");
  hour->setText("99");
  leave(hour, Qt::ActiveWindowFocusReason);
  QVERIFY(desktop_.boxes.empty());
}

void DemoWindow::CommandsWaitForTheRunningOne() {
  qputenv("TALLYGATE_COM2", QByteArray::fromStdString(sim_->pty_path()));
  const auto window = OpenWindow(desktop_, env_.folder());
  window->show();
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  Type(*window, "TxtAddress", "1");
  auto* count_button = Find<QPushButton>(*window, "Command5");
  sim_->Control("fault ClearNameList:next:delay=1500");
  bool busy_seen = false;
  bool closed = true;
  QTimer::singleShot(300, window.get(), [&] {
    busy_seen = window->busy();
    QTest::mouseClick(count_button, Qt::LeftButton);
    QTest::keyClick(window.get(), Qt::Key_X, Qt::AltModifier);
    closed = window->close();
  });
  QVERIFY(Click(*window, "Command10"));  // confirmed by the desktop
  QVERIFY(busy_seen);
  QVERIFY(!closed);
  QVERIFY(window->link());
  QCOMPARE(Status(*window), QStringLiteral("删除名单表成功"));
  QCOMPARE(Find<QLabel>(*window, "Label")->text(), QStringLiteral("000"));
  // The same click once the call is over.
  QTest::mouseClick(count_button, Qt::LeftButton);
  QCOMPARE(Find<QLabel>(*window, "Label")->text(), QStringLiteral("5 条"));
}

void DemoWindow::AboutBoxThroughTheHost() {
  const auto window = OpenWindow(desktop_, env_.folder());
  QVERIFY(Click(*window, "cmdAbout"));
  QCOMPARE(desktop_.abouts.size(), 1);
  QVERIFY(desktop_.abouts[0].startsWith(QStringLiteral("About...|")));
}

void DemoWindow::QtMessageBoxesFollowTheStyle() {
  const struct {
    int style;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton press;
    int answer;
  } rows[] = {
      {TG_MB_OK, QMessageBox::NoIcon, QMessageBox::Ok, TG_ANSWER_OK},
      {TG_MB_ICON_QUESTION, QMessageBox::Question, QMessageBox::Ok, TG_ANSWER_OK},
      {TG_MB_YES_NO | TG_MB_ICON_CRITICAL, QMessageBox::Critical, QMessageBox::No, TG_ANSWER_NO},
      {TG_MB_YES_NO | TG_MB_ICON_CRITICAL, QMessageBox::Critical, QMessageBox::Yes, TG_ANSWER_YES},
      {TG_MB_RETRY_CANCEL | TG_MB_ICON_EXCLAMATION, QMessageBox::Warning, QMessageBox::Cancel,
       TG_ANSWER_CANCEL},
  };
  QtDesktop desktop;
  for (const auto& row : rows) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    // Answers the box once it is up, as an operator would.
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) continue;
        answer.stop();
        icon = box->icon();
        title = box->windowTitle();
        box->button(row.press)->click();
        return;
      }
    });
    answer.start(10);
    QCOMPARE(desktop.MessageBox(QStringLiteral("标题"), QStringLiteral("内容"), row.style), row.answer);
    QCOMPARE(icon, row.icon);
    QCOMPARE(title, QStringLiteral("标题"));
  }
}

}  // namespace tallydemo::testing

QTEST_MAIN(tallydemo::testing::DemoWindow)
#include "demo_window_qtest.moc"
