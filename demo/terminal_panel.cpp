#include "demo/terminal_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/host_services.h"

namespace tallydemo {

TerminalPanel::TerminalPanel(FormContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("短信、语音、密码与存储模式"), parent), context_(context) {
  setObjectName(QStringLiteral("fraTerminal"));
  send_message_ = MakeButton(this, QStringLiteral("cmdSendMsg"), QStringLiteral("发短信"));
  sound_ = MakeField(this, QStringLiteral("SoundNum"), QStringLiteral("1"));
  sound_->setMaximumWidth(44);
  sounds_ = MakeButton(this, QStringLiteral("cmdGetSounds"), QStringLiteral("语音功能"));
  auto* voices = MakeLabel(this, QStringLiteral("Label18"),
                           QStringLiteral("1 无效卡　2　　3 欢迎你　4 你好\n"
                                          "5 生日快乐　6 你迟到了　7 节日快乐　8 注意安全"));
  password_ = MakeField(this, QStringLiteral("Text8"), {});
  password_->setMaximumWidth(70);
  auto* set_password = MakeButton(this, QStringLiteral("Command30"), QStringLiteral("设置密码"));
  auto* read_password = MakeButton(this, QStringLiteral("Command31"), QStringLiteral("读取密码"));
  storage_ = new QComboBox(this);
  storage_->setObjectName(QStringLiteral("cmbStorageModel"));
  storage_->addItems({QStringLiteral("实时"), QStringLiteral("脱机")});
  storage_->setCurrentIndex(0);
  auto* get_storage = MakeButton(this, QStringLiteral("cmdGetStorage"), QStringLiteral("读存储模式"));
  auto* set_storage = MakeButton(this, QStringLiteral("cmdSetStorage_1"), QStringLiteral("切换模式"));
  picture_ = MakeButton(this, QStringLiteral("DOWNLOG"), QStringLiteral("下载开机画面"));

  // Display, voice and picture on the left; password and storage mode on
  // the right.
  auto* grid = new QGridLayout(this);
  grid->addWidget(send_message_, 0, 0, 1, 2);
  grid->addWidget(picture_, 0, 2);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblSound"), QStringLiteral("语音号")), 1, 0);
  grid->addWidget(sound_, 1, 1);
  grid->addWidget(sounds_, 1, 2);
  grid->addWidget(voices, 2, 0, 1, 3);
  grid->setColumnMinimumWidth(3, 12);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblPassword"), QStringLiteral("进入机器菜单密码")), 0, 4);
  grid->addWidget(password_, 0, 5);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblKeypad"), QStringLiteral("只适用於带键盘机型")), 0, 6);
  grid->addWidget(set_password, 1, 5);
  grid->addWidget(read_password, 1, 6);
  grid->addWidget(storage_, 2, 4);
  grid->addWidget(get_storage, 2, 5);
  grid->addWidget(set_storage, 2, 6);

  connect(send_message_, &QPushButton::clicked, this, [this] {
    if (!context_.busy()) emit messagePanelRequested();
  });
  context_.OnClick(sounds_, [this] { PlaySound(); });
  context_.OnClick(set_password, [this] { SetPassword(); });
  context_.OnClick(read_password, [this] { ReadPassword(); });
  context_.OnClick(get_storage, [this] { ReadStorageMode(); });
  context_.OnClick(set_storage, [this] { SetStorageMode(); });
  context_.OnClick(picture_, [this] { DownloadPicture(); });
}

void TerminalPanel::SetSerialMode(bool serial) {
  picture_->setEnabled(serial);
  send_message_->setEnabled(serial);
  sounds_->setEnabled(serial);
}

void TerminalPanel::PlaySound() {
  const Outcome outcome =
      context_.link->Call("GetSounds", {Text(context_.AddressText()), Text(sound_->text())});
  context_.SetStatus(IsTrue(outcome) ? QStringLiteral("语音发送成功！")
                                     : FormContext::Failure(QStringLiteral("语音发送失败！"), outcome));
}

void TerminalPanel::SetPassword() {
  // The terminal's password is four digits at most, as the message says.
  static const QRegularExpression kPassword(QStringLiteral(R"(^\d{1,4}$)"));
  if (!kPassword.match(password_->text()).hasMatch()) {
    context_.Message(QStringLiteral("密码密码为不大于4位的数字"), TG_MB_OK, QStringLiteral("提示"));
    password_->setFocus();
    return;
  }
  const Outcome outcome = context_.link->Call(
      "SetMachinePassword", {Text(context_.AddressText()), Text(password_->text())});
  context_.SetStatus(IsTrue(outcome) ? QStringLiteral("设置密码成功")
                                     : FormContext::Failure(QStringLiteral("设置失败"), outcome));
}

void TerminalPanel::ReadPassword() {
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  const Outcome outcome = context_.link->Call("GetMachinePassword", {Variant(*address)});
  const int32_t password = outcome.ok() ? NumberOf(outcome.result).value_or(-1) : -1;
  if (password < 0) {
    password_->clear();
    context_.SetStatus(FormContext::Failure(QStringLiteral("读取密码失败"), outcome));
    return;
  }
  password_->setText(QStringLiteral("%1").arg(password, 4, 10, QLatin1Char('0')).right(4));
  context_.SetStatus(QStringLiteral("读取密码成功") + password_->text());
}

void TerminalPanel::ReadStorageMode() {
  const Outcome outcome = context_.link->Call("GetStorageModel", {Text(context_.AddressText())});
  const std::optional<int32_t> mode = outcome.ok() ? NumberOf(outcome.result) : std::nullopt;
  QString text = QStringLiteral("读取出现异常错误");
  if (mode == 1) {
    text = QStringLiteral("考勤机处于实时上传模式");
  } else if (mode == 2) {
    text = QStringLiteral("考勤机处于脱机存储模式");
  } else if (mode == -1) {
    text = QStringLiteral("读取失败");
  }
  context_.Message(text, TG_MB_OK);
}

void TerminalPanel::SetStorageMode() {
  const Outcome outcome = context_.link->Call(
      "SetStorageModel",
      {Text(context_.AddressText()), Variant(static_cast<int16_t>(storage_->currentIndex() + 1))});
  // A frame that never left would otherwise be reported as sent.
  context_.SetStatus(IsTrue(outcome)
                         ? QStringLiteral("已下发修改模式指令")
                         : FormContext::Failure(QStringLiteral("下发修改模式指令失败"), outcome));
}

void TerminalPanel::DownloadPicture() {
  picture_path_ = context_.desktop->OpenFileName(QStringLiteral("文本文件 (*.txt)"));
  if (picture_path_.size() <= 5) return;
  context_.SetStatus(QStringLiteral("正在下传图片......"));
  // The library raises an error here for an unreadable or short file; it is
  // shown with the failure instead of ending the program.
  const Outcome outcome =
      context_.link->Call("SendPictureMach", {Text(context_.AddressText()), Text(picture_path_)});
  context_.SetStatus(IsTrue(outcome)
                         ? QStringLiteral("下传图片成功!")
                         : FormContext::Failure(QStringLiteral("下传图片失败!"), outcome));
}

}  // namespace tallydemo
