#include "demo/memory_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/host_services.h"

namespace tallydemo {

MemoryPanel::MemoryPanel(FormContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("记录数与存储"), parent), context_(context) {
  setObjectName(QStringLiteral("fraMemory"));
  auto* record_sum = MakeButton(this, QStringLiteral("Command5"), QStringLiteral("读打卡记录数"));
  record_count_ = MakeLabel(this, QStringLiteral("Label"), QStringLiteral("000"));
  auto* card_sum = MakeButton(this, QStringLiteral("Command6"), QStringLiteral("读发卡记录数"));
  card_count_ = MakeLabel(this, QStringLiteral("Label7"), QStringLiteral("000"));
  auto* flags = MakeButton(this, QStringLiteral("Command9"), QStringLiteral("读标志位"));
  auto* clear_flag = MakeButton(this, QStringLiteral("Command8"), QStringLiteral("清除卡标志"));
  auto* clear_names = MakeButton(this, QStringLiteral("Command10"), QStringLiteral("清除发卡名单"));
  auto* clear_records =
      MakeButton(this, QStringLiteral("Command11"), QStringLiteral("清除考勤记录"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(record_sum, 0, 0);
  grid->addWidget(record_count_, 0, 1);
  grid->addWidget(card_sum, 1, 0);
  grid->addWidget(card_count_, 1, 1);
  grid->addWidget(flags, 2, 0);
  grid->addWidget(clear_flag, 2, 1);
  grid->addWidget(clear_names, 3, 0);
  grid->addWidget(clear_records, 3, 1);

  context_.OnClick(record_sum, [this] { ReadRecordCount(); });
  context_.OnClick(card_sum, [this] { ReadCardCount(); });
  context_.OnClick(flags, [this] { ReadFlags(); });
  context_.OnClick(clear_flag, [this] {
    Clear("ClearFlag", {}, QStringLiteral("清除卡标志成功"), QStringLiteral("清除卡标志不成功"));
  });
  context_.OnClick(clear_names, [this] {
    Clear("ClearNameList",
          QStringLiteral("注意：确定要删除考勤机中所有的名单表与考勤记录吗？"),
          QStringLiteral("删除名单表成功"), QStringLiteral("删除名单表不成功"));
  });
  context_.OnClick(clear_records, [this] {
    Clear("ClearRecord", QStringLiteral("注意：确定它将删除考勤机中所有的考勤记录吗？"),
          QStringLiteral("删除记录成功"), QStringLiteral("删除记录不成功"));
  });
}

void MemoryPanel::ReadRecordCount() {
  record_count_->setText(QStringLiteral("0"));
  Variant count{int32_t{0}};
  const bool read = context_.link->CallBool(
      "GatherRecordSum", {Text(context_.AddressText()), Variant::Ref(count), Text(QStringLiteral("ok"))});
  // A failed read is said as such: a count of 0 would pass for an empty
  // terminal.
  if (!read) {
    context_.SetStatus(QStringLiteral("采集失败"));
    return;
  }
  record_count_->setText(QStringLiteral("%1 条").arg(NumberOf(count).value_or(0)));
}

void MemoryPanel::ReadCardCount() {
  Variant count{int32_t{0}};
  if (context_.link->CallBool("GatherSendCardSum",
                              {Text(context_.AddressText()), Variant::Ref(count)})) {
    context_.SetStatus(QStringLiteral("采集成功"));
    card_count_->setText(QStringLiteral("%1 条").arg(NumberOf(count).value_or(0)));
  } else {
    context_.SetStatus(QStringLiteral("采集失败"));
  }
}

void MemoryPanel::ReadFlags() {
  const std::optional<int16_t> address = context_.CheckedAddress();
  if (!address) return;
  Variant all{""};
  context_.link->Call("ReadCardNum", {Variant(*address), Variant::Ref(all)});
  context_.SetStatus(QStringLiteral("标志位：") + TextOf(all).mid(4, 2));
}

void MemoryPanel::Clear(const char* method, const QString& question, const QString& done,
                        const QString& failed) {
  const std::optional<int16_t> address = context_.CheckedAddress();
  if (!address) return;
  if (!question.isEmpty() &&
      context_.Message(question, TG_MB_YES_NO | TG_MB_ICON_CRITICAL) == TG_ANSWER_NO) {
    return;
  }
  if (!question.isEmpty()) context_.SetStatus({});
  const Outcome outcome = context_.link->Call(method, {Variant(*address)});
  const bool cleared = IsTrue(outcome);
  context_.SetStatus(cleared ? done : FormContext::Failure(failed, outcome));
}

}  // namespace tallydemo
