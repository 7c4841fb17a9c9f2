#include "demo/connection_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "demo/field_checks.h"
#include "demo/field_validator.h"
#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/host_services.h"

namespace tallydemo {
namespace {

const QString kConnectCaption = QStringLiteral("连接考勤机");
const QString kDisconnectCaption = QStringLiteral("断开连接");
// No terminal address is known before the operator gives one; this is the
// usual factory address of networked terminals.
const QString kDefaultTerminalIp = QStringLiteral("192.168.1.201");

QString ReadSetting(QSettings& settings, const QString& section, const QString& fallback) {
  return settings.value(section + QStringLiteral("/Value"), fallback).toString();
}

}  // namespace

QString TcpStateText(int state) {
  static const std::array<QString, 10> kTexts = {
      QStringLiteral("连接已关闭"), QStringLiteral("打开状态"), QStringLiteral("侦听"),
      QStringLiteral("连接挂起"),   QStringLiteral("识别主机"), QStringLiteral("已识别主机"),
      QStringLiteral("正在连接"),   QStringLiteral("已连接"),
      QStringLiteral("同级人员正在关闭连接"), QStringLiteral("错误")};
  if (state < 0 || state >= static_cast<int>(kTexts.size())) return QStringLiteral("未知状态");
  return kTexts[static_cast<size_t>(state)];
}

ConnectionPanel::ConnectionPanel(FormContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("通讯基础设置"), parent), context_(context) {
  setObjectName(QStringLiteral("fraConnection"));
  images_ = {QIcon(QStringLiteral(":/demo/port_opened.png")),
             QIcon(QStringLiteral(":/demo/port_neutral.png")),
             QIcon(QStringLiteral(":/demo/port_failed.png"))};

  opt_com_ = new QRadioButton(QStringLiteral("Com"), this);
  opt_com_->setObjectName(QStringLiteral("optCom"));
  opt_com_->setChecked(true);
  opt_tcp_ = new QRadioButton(QStringLiteral("TCP"), this);
  opt_tcp_->setObjectName(QStringLiteral("optTcp"));

  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("tbComPort"));
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbar_->setIconSize(QSize(24, 24));
  for (int index = 1; index <= 5; ++index) {
    auto* button = new QToolButton(toolbar_);
    button->setObjectName(ArrayName(QStringLiteral("tbComPort"), index));
    button->setText(QStringLiteral("Com%1").arg(index));
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIcon(images_[kNeutral]);
    toolbar_->addWidget(button);
    com_buttons_[static_cast<size_t>(index - 1)] = button;
    context_.OnClick(button, [this, index] { ComButtonClicked(index); });
  }

  // All five buttons stay in view; a toolbar would fold the last ones away.
  toolbar_->setMinimumWidth(toolbar_->sizeHint().width());
  auto* ip_label = MakeLabel(this, QStringLiteral("lblIP"), QStringLiteral("IP："));
  ip_ = MakeField(this, QStringLiteral("txtIP"), {});
  ip_->setEnabled(false);
  auto* port_label = MakeLabel(this, QStringLiteral("Label4"), QStringLiteral("端口号："));
  tcp_port_ = MakeField(this, QStringLiteral("txtTcpPort"), {});
  tcp_port_->setEnabled(false);
  connect_ = MakeButton(this, QStringLiteral("cmdConnectNet"), kConnectCaption);
  connect_->setEnabled(false);
  tcp_state_ = MakeLabel(this, QStringLiteral("lblTcpState"), QStringLiteral("TCP状态"));
  auto* address_label = MakeLabel(this, QStringLiteral("Label1"), QStringLiteral("考勤机地址："));
  address_ = MakeField(this, QStringLiteral("TxtAddress"), {}, 3,
                       QStringLiteral("请输入“0-99”之间的数！"));
  address_->setMaximumWidth(60);
  FieldValidator::Attach(address_, AddressFieldProblem, true, *context_.desktop);

  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("TimerState"));
  timer_->setInterval(2000);
  connect(timer_, &QTimer::timeout, this, &ConnectionPanel::ShowTcpState);

  auto* grid = new QGridLayout(this);
  grid->addWidget(opt_com_, 0, 0);
  grid->addWidget(toolbar_, 0, 1, 1, 3);
  grid->addWidget(opt_tcp_, 1, 0);
  grid->addWidget(ip_label, 1, 1);
  grid->addWidget(ip_, 1, 2, 1, 2);
  grid->addWidget(port_label, 2, 1);
  grid->addWidget(tcp_port_, 2, 2);
  grid->addWidget(connect_, 2, 3);
  grid->addWidget(tcp_state_, 3, 1, 1, 3);
  grid->addWidget(address_label, 4, 0, 1, 2);
  grid->addWidget(address_, 4, 2, Qt::AlignLeft);

  connect(opt_com_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SelectSerial();
  });
  connect(opt_tcp_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SelectTcp();
  });
  context_.OnClick(connect_, [this] { ConnectClicked(); });
}

void ConnectionPanel::WriteSetting(QSettings& settings, const QString& section,
                                   const QString& value) {
  settings.setValue(section + QStringLiteral("/Value"), value);
}

void ConnectionPanel::Load(QSettings& settings) {
  ip_->setText(ReadSetting(settings, QStringLiteral("TallyIP"), kDefaultTerminalIp));
  tcp_port_->setText(ReadSetting(settings, QStringLiteral("TallyTcpPort"), QStringLiteral("1001")));
  address_->setText(ReadSetting(settings, QStringLiteral("Address"), QStringLiteral("18")));
  saved_port_ = ReadSetting(settings, QStringLiteral("Com"), QStringLiteral("2"));
  const bool opened = context_.link->CallBool("SetPort", {Text(saved_port_)});
  const std::optional<int16_t> index = ToInteger16(saved_port_);
  if (index && *index >= 1 && *index <= 5) {
    SetButton(*index, opened, opened ? kOpened : kFailed);
  }
}

void ConnectionPanel::Save(QSettings& settings) const {
  // The port last chosen, so that the next start opens it again.
  WriteSetting(settings, QStringLiteral("Com"), saved_port_);
  WriteSetting(settings, QStringLiteral("Address"), address_->text());
  WriteSetting(settings, QStringLiteral("TallyIP"), ip_->text());
  WriteSetting(settings, QStringLiteral("TallyTcpPort"), tcp_port_->text());
}

void ConnectionPanel::SetButton(int index, bool pressed, Image image) {
  QToolButton* button = com_buttons_[static_cast<size_t>(index - 1)];
  button->setChecked(pressed);
  button->setIcon(images_[image]);
}

void ConnectionPanel::ComButtonClicked(int index) {
  saved_port_ = QString::number(index);
  QSettings settings(QStringLiteral("TallyDemo"));
  WriteSetting(settings, QStringLiteral("Com"), saved_port_);
  WriteSetting(settings, QStringLiteral("Address"), address_->text());
  const QString label = com_buttons_[static_cast<size_t>(index - 1)]->text();
  for (int port = 1; port <= 5; ++port) {
    if (label != QStringLiteral("Com%1").arg(port)) continue;
    SelectComPort(port);
    for (int other = 1; other <= 5; ++other) {
      // The library closed the other ports when it opened this one.
      if (other != index) SetButton(other, false, kNeutral);
    }
  }
}

void ConnectionPanel::SelectComPort(int port) {
  const bool opened = context_.link->CallBool("SetPort", {Variant(static_cast<int16_t>(port))});
  SetButton(port, opened, opened ? kOpened : kNeutral);
  context_.SetStatus(QStringLiteral("串口:%1%2").arg(port).arg(
      opened ? QStringLiteral(" 设置成功!") : QStringLiteral(" 设置失败!")));
}

void ConnectionPanel::SelectSerial() {
  toolbar_->setEnabled(true);
  ip_->setEnabled(false);
  tcp_port_->setEnabled(false);
  connect_->setEnabled(false);
  timer_->stop();
  emit serialModeChanged(true);
  context_.link->Put("Mode", Variant(int16_t{0}));  // an error changes nothing here
}

void ConnectionPanel::SelectTcp() {
  const Outcome outcome = context_.link->Put("Mode", Variant(int16_t{1}));
  if (!outcome.ok()) {
    context_.Message(QStringLiteral("您所使用的动态库不支持TCP通讯!\n"
                                    "请使用V7.2以上版本的 'TALLYGATE_V70.dll' 动态库(2007年8月推出)"),
                     TG_MB_OK, QStringLiteral("提示"));
    opt_com_->setChecked(true);
    return;
  }
  toolbar_->setEnabled(false);
  ip_->setEnabled(true);
  tcp_port_->setEnabled(true);
  connect_->setEnabled(true);
  timer_->start();
  emit serialModeChanged(false);
}

void ConnectionPanel::ConnectClicked() {
  if (connect_->text() == kConnectCaption) {
    const bool connected =
        context_.link->CallBool("Connect_Net", {Text(ip_->text()), Text(tcp_port_->text())});
    tcp_state_->setText(connected ? QStringLiteral("连接成功！") : QStringLiteral("连接失败！"));
    if (connected) connect_->setText(kDisconnectCaption);
  } else if (context_.link->CallBool("Disconnect_Net")) {
    tcp_state_->setText(QStringLiteral("连接已断开"));
    connect_->setText(kConnectCaption);
  }
}

void ConnectionPanel::ShowTcpState() {
  context_.Run([this] {
    const Outcome outcome = context_.link->Call("tcpState");
    const std::optional<int32_t> state = NumberOf(outcome.result);
    tcp_state_->setText(TcpStateText(outcome.ok() && state ? *state : -1));
  });
}

void ConnectionPanel::ConnectTcp(const QString& host, const QString& port) {
  opt_tcp_->setChecked(true);
  if (!opt_tcp_->isChecked()) return;
  ip_->setText(host);
  tcp_port_->setText(port);
  connect_->click();
}

}  // namespace tallydemo
