#include "demo/card_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "demo/field_checks.h"
#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/host_services.h"

namespace tallydemo {
namespace {

const QString kCardLengthMessage = QStringLiteral("物理卡号要是8位");

}  // namespace

CardPanel::CardPanel(FormContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("卡号与地址"), parent), context_(context) {
  setObjectName(QStringLiteral("fraCards"));
  // Eleven characters hold any card number the reader reports ("-2147483648").
  card_ = MakeField(this, QStringLiteral("TxtCardNum"), {}, 11);
  staff_ = MakeField(this, QStringLiteral("TxtNo"), {}, 8,
                     QStringLiteral("请输入“0-9”，“a-f”之间的字符！"));
  new_address_ = MakeField(this, QStringLiteral("TxtNewAddr"), {}, 3,
                           QStringLiteral("请输入“0-99”之间的数！"));
  auto* read = MakeButton(this, QStringLiteral("Command7"), QStringLiteral("读卡号"));
  auto* issue = MakeButton(this, QStringLiteral("Command14"), QStringLiteral("发卡"));
  auto* withdraw = MakeButton(this, QStringLiteral("Command15"), QStringLiteral("退卡"));
  auto* find = MakeButton(this, QStringLiteral("Command22"), QStringLiteral("查找发卡记录"));
  auto* change = MakeButton(this, QStringLiteral("Command16"), QStringLiteral("修改地址"));
  auto* upload = MakeButton(this, QStringLiteral("Command17"), QStringLiteral("下传打卡数据"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblCardNum"), QStringLiteral("物理卡号：")), 0, 0);
  grid->addWidget(card_, 0, 1);
  grid->addWidget(read, 0, 2);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblNo"), QStringLiteral("工号：")), 1, 0);
  grid->addWidget(staff_, 1, 1);
  grid->addWidget(issue, 1, 2);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblNewAddr"), QStringLiteral("新地址或姓名：")), 2, 0);
  grid->addWidget(new_address_, 2, 1);
  grid->addWidget(change, 2, 2);
  grid->addWidget(withdraw, 3, 0);
  grid->addWidget(find, 3, 1);
  grid->addWidget(upload, 3, 2);

  context_.OnClick(read, [this] { ReadCard(); });
  context_.OnClick(issue, [this] { IssueCard(); });
  context_.OnClick(withdraw, [this] { WithdrawCard(); });
  context_.OnClick(find, [this] { FindCard(); });
  context_.OnClick(change, [this] { ChangeAddress(); });
  connect(upload, &QPushButton::clicked, this, [this] {
    if (!context_.busy()) emit recordUploadRequested();
  });
}

bool CardPanel::NormalizeStaffNumber() {
  const std::optional<QString> staff = NormalizeStaffNumberText(staff_->text());
  if (!staff) {
    context_.Message(QStringLiteral("请输入该卡的工号！"), TG_MB_ICON_QUESTION);
    return false;
  }
  staff_->setText(*staff);
  return true;
}

bool CardPanel::CardNumberReady(const QString& message) const {
  if (IsCardNumberText(card_->text())) return true;
  context_.Message(message, TG_MB_OK);
  return false;
}

void CardPanel::ReadCard() {
  card_->clear();
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  Variant all{""};
  const Outcome outcome = context_.link->Call("ReadCardNum", {Variant(*address), Variant::Ref(all)});
  const QString card = outcome.ok() ? TextOf(outcome.result) : QString();
  bool hex_ok = false;
  const int replied = TextOf(all).left(2).toInt(&hex_ok, 16);
  // An empty card number is a failed read even when the address is 0.
  if ((hex_ok ? replied : 0) != *address || card.isEmpty()) {
    context_.SetStatus(QStringLiteral("读取物理卡号不成功"));
    return;
  }
  card_->setText(PaddedCardNumber(card));
  context_.SetStatus(QStringLiteral("物理卡号:") + card_->text());
}

void CardPanel::IssueCard() {
  if (!IsCardNumberText(card_->text())) {
    context_.SetStatus(QStringLiteral("请先读取物理卡号!"));
    return;
  }
  context_.SetStatus({});
  if (!NormalizeStaffNumber()) return;
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  const Outcome outcome = context_.link->Call(
      "CardSendToMachine", {Variant(*address), Text(card_->text()), Text(staff_->text().trimmed()),
                            Text(new_address_->text()), Text(QStringLiteral("00")),
                            Text(QStringLiteral("00000000"))});
  const QString card = QStringLiteral("卡号:") + staff_->text();
  context_.SetStatus(IsTrue(outcome)
                         ? card + QStringLiteral("发送成功!")
                         : FormContext::Failure(card + QStringLiteral("发送不成功"), outcome));
}

void CardPanel::WithdrawCard() {
  context_.SetStatus({});
  if (!CardNumberReady(kCardLengthMessage)) return;
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  const Outcome outcome =
      context_.link->Call("ClearName", {Variant(*address), Text(card_->text().trimmed())});
  const QString card = QStringLiteral("卡号:") + staff_->text();
  context_.SetStatus(IsTrue(outcome)
                         ? card + QStringLiteral("清除成功")
                         : FormContext::Failure(card + QStringLiteral("清除不成功"), outcome));
}

void CardPanel::FindCard() {
  if (!CardNumberReady(kCardLengthMessage)) return;
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  Variant found{false};
  const Outcome outcome = context_.link->Call(
      "FindCard", {Variant(*address), Text(card_->text().trimmed()), Variant::Ref(found)});
  const QString card = QStringLiteral("卡号:") + card_->text();
  if (!IsTrue(outcome)) {
    context_.SetStatus(FormContext::Failure(QStringLiteral("通讯失败!"), outcome));
  } else {
    context_.SetStatus(card + (NumberOf(found).value_or(0) != 0 ? QStringLiteral("存在")
                                                                : QStringLiteral("不存在")));
  }
}

void CardPanel::ChangeAddress() {
  const std::optional<int16_t> address = context_.CheckedAddress();
  if (!address) return;
  context_.SetStatus({});
  const std::optional<int16_t> new_address = ToInteger16(new_address_->text().trimmed());
  if (!new_address) {
    context_.SetStatus(QStringLiteral("请输入考勤机新的地址。"));
    return;
  }
  const Outcome outcome =
      context_.link->Call("RepairAddress", {Variant(*address), Variant(*new_address)});
  if (IsTrue(outcome)) {
    context_.SetStatus(QStringLiteral("地址修改成功"));
    context_.address->setText(new_address_->text());
  } else {
    context_.SetStatus(FormContext::Failure(QStringLiteral("地址修改不成功"), outcome));
  }
}

}  // namespace tallydemo
