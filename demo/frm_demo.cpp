#include "demo/frm_demo.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>

#include "demo/card_panel.h"
#include "demo/clock_parameters_panel.h"
#include "demo/collection_panel.h"
#include "demo/connection_panel.h"
#include "demo/form_widgets.h"
#include "demo/memory_panel.h"
#include "demo/message_panel.h"
#include "demo/mod_demo.h"
#include "demo/output_format_frame.h"
#include "demo/record_upload_panel.h"
#include "demo/ring_schedule_panel.h"
#include "demo/terminal_panel.h"

// Resources of a static library are registered by name, outside any
// namespace.
static void InitDemoImages() { Q_INIT_RESOURCE(images); }

namespace tallydemo {
namespace {

QString SeparatorKey(int index) { return QStringLiteral("%1TxtF").arg(index); }

// A check box from its stored value: "0" clears it, "1" sets it; empty or
// other text leaves it as it is.
void LoadCheck(QCheckBox* box, const QString& stored) {
  if (stored.trimmed() == u"1") box->setChecked(true);
  if (stored.trimmed() == u"0") box->setChecked(false);
}

}  // namespace

FrmDemo::FrmDemo(LinkObject link, Desktop& desktop, const QString& folder, QWidget* parent)
    : QMainWindow(parent), link_(std::move(link)),
      public_sys_(folder + QStringLiteral("/Public.Sys")) {
  InitDemoImages();
  context_.link = &link_;
  context_.desktop = &desktop;
  context_.folder = folder;
  context_.window = this;
  BuildWindow();

  context_.Run([this] {
    QSettings settings(QStringLiteral("TallyDemo"));
    connection_->Load(settings);
    ReadSys();
    version_->setText(TextOf(link_.Call("Ver").result));
  });
}

FrmDemo::~FrmDemo() = default;

void FrmDemo::BuildWindow() {
  setObjectName(QStringLiteral("FrmDemo"));
  setWindowTitle(QStringLiteral("DemoConsole"));
  auto* central = new QWidget(this);
  setCentralWidget(central);
  statusBar()->setObjectName(QStringLiteral("Sta_Info"));
  statusBar()->setSizeGripEnabled(false);
  context_.status = statusBar();

  auto* heading = MakeLabel(central, QStringLiteral("Label10"), QStringLiteral("考勤机动态链接库使用实例"));
  heading->setStyleSheet(QStringLiteral("font-size: 16pt; font-weight: bold; color: #1F4E79;"));
  version_ = MakeLabel(central, QStringLiteral("lbl_DllVer"), {});
  auto* header = new QHBoxLayout;
  header->addWidget(heading);
  header->addStretch();
  header->addWidget(MakeLabel(central, QStringLiteral("Label17"), QStringLiteral("动态库版本：")));
  header->addWidget(version_);

  progress_ = new QProgressBar(central);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_->hide();
  format_ = new OutputFormatFrame(central);
  collection_ = new CollectionPanel(context_, *format_, progress_, central);
  context_.is_check = collection_->is_check();
  context_.year_check = collection_->year_check();
  connection_ = new ConnectionPanel(context_, central);
  context_.address = connection_->address_field();
  cards_ = new CardPanel(context_, central);
  terminal_ = new TerminalPanel(context_, central);
  auto* about = MakeButton(central, QStringLiteral("cmdAbout"), QStringLiteral("关于..."));
  auto* exit = MakeButton(central, QStringLiteral("Cmd_Exit"), QStringLiteral("退出(&X)"));

  // Four columns fit a 1366x768 screen with room for the frame and a panel.
  auto* grid = new QGridLayout(central);
  grid->addLayout(header, 0, 0, 1, 4);
  grid->addWidget(connection_, 1, 0);
  grid->addWidget(collection_, 1, 1);
  grid->addWidget(new MemoryPanel(context_, central), 1, 2);
  grid->addWidget(new ClockParametersPanel(context_, central), 1, 3);
  grid->addWidget(cards_, 2, 0);
  grid->addWidget(terminal_, 2, 1, 1, 2);
  grid->addWidget(new RingSchedulePanel(context_, central), 2, 3);
  grid->addWidget(format_, 3, 0, 1, 4);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(progress_, 1);
  bottom->addStretch();
  bottom->addWidget(about);
  bottom->addWidget(exit);
  grid->addLayout(bottom, 4, 0, 1, 4);
  grid->setRowStretch(5, 1);

  // Opened over the window, outside its layout.
  record_upload_ = new RecordUploadPanel(context_, central);
  message_ = new MessagePanel(context_, central);

  connect(connection_, &ConnectionPanel::serialModeChanged, terminal_, &TerminalPanel::SetSerialMode);
  connect(cards_, &CardPanel::recordUploadRequested, this,
          [this] { record_upload_->Open(context_.AddressText()); });
  connect(terminal_, &TerminalPanel::messagePanelRequested, message_, &MessagePanel::Open);
  context_.OnClick(about, [this] { link_.Call("ShowAbout"); });
  context_.OnClick(exit, [this] { Exit(); });
}

void FrmDemo::ReadSys() {
  LoadCheck(collection_->is_check(), ReadPublicSys(kPublicSysSection, QStringLiteral("IsCheck"), public_sys_));
  LoadCheck(collection_->year_check(),
            ReadPublicSys(kPublicSysSection, QStringLiteral("YearCheck"), public_sys_));
  for (int i = 0; i <= 8; ++i) {
    const QString value = ReadPublicSys(kPublicSysSection, SeparatorKey(i), public_sys_);
    if (value.isEmpty() || value == u"{}") continue;
    format_->separator(i)->setText(value.mid(1, value.size() - 2));
  }
}

void FrmDemo::WriteSys() const {
  const auto flag = [](const QCheckBox* box) {
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
  };
  WritePublicSys(kPublicSysSection, QStringLiteral("IsCheck"), flag(collection_->is_check()), public_sys_);
  WritePublicSys(kPublicSysSection, QStringLiteral("YearCheck"), flag(collection_->year_check()),
                 public_sys_);
  for (int i = 0; i <= 8; ++i) {
    WritePublicSys(kPublicSysSection, SeparatorKey(i),
                   QLatin1Char('{') + format_->separator(i)->text() + QLatin1Char('}'), public_sys_);
  }
}

QString FrmDemo::DataBaseForm(const QString& line) const { return collection_->DataBaseForm(line); }

void FrmDemo::ConnectTcp(const QString& host, const QString& port) {
  connection_->ConnectTcp(host, port);
}

void FrmDemo::SetAddress(const QString& address) { context_.address->setText(address); }

void FrmDemo::closeEvent(QCloseEvent* event) {
  if (exited_) {
    event->accept();  // the exit button: nothing is saved
    return;
  }
  // Closing during a call would destroy the object the call runs on.
  if (context_.busy()) {
    event->ignore();
    return;
  }
  QSettings settings(QStringLiteral("TallyDemo"));
  connection_->Save(settings);
  WriteSys();
  event->accept();
}

void FrmDemo::Exit() {
  // Nothing is saved: the exit button leaves the settings as they were.
  exited_ = true;
  link_.Release();
  // quit() closes the window (unsaved, see closeEvent) and ends the event
  // loop; unlike exit() it does nothing when no loop runs.
  QCoreApplication::quit();
}

}  // namespace tallydemo
