#include "demo/ring_schedule_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

#include "demo/field_checks.h"
#include "demo/field_validator.h"
#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/date.h"
#include "tallygate/host_services.h"

namespace tallydemo {

RingSchedulePanel::RingSchedulePanel(FormContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("闹钟"), parent), context_(context) {
  setObjectName(QStringLiteral("fraRingSchedule"));
  auto* grid = new QGridLayout(this);
  grid->setVerticalSpacing(2);
  // Two columns of five rows, each with its hour and minute heads.
  for (int column = 0; column < 2; ++column) {
    grid->addWidget(MakeLabel(this, {}, QStringLiteral("小时")), 0, column * 2);
    grid->addWidget(MakeLabel(this, {}, QStringLiteral("分钟")), 0, column * 2 + 1);
  }
  for (int i = 0; i < 10; ++i) {
    QLineEdit* hour = MakeField(this, ArrayName(QStringLiteral("TxtHour"), i), QStringLiteral("0"),
                                0, QStringLiteral("请输入“0-23”之间的数！"));
    QLineEdit* minute = MakeField(this, ArrayName(QStringLiteral("TxtMin"), i), QStringLiteral("0"),
                                  0, QStringLiteral("请输入“0-59”之间的数！"));
    hour->setMaximumWidth(44);
    minute->setMaximumWidth(44);
    FieldValidator::Attach(hour, HourFieldProblem, false, *context_.desktop);
    FieldValidator::Attach(minute, MinuteFieldProblem, false, *context_.desktop);
    hours_[static_cast<size_t>(i)] = hour;
    minutes_[static_cast<size_t>(i)] = minute;
    grid->addWidget(hour, 1 + i % 5, (i / 5) * 2);
    grid->addWidget(minute, 1 + i % 5, (i / 5) * 2 + 1);
  }
  section_ = MakeField(this, QStringLiteral("Text7"), QStringLiteral("1"));
  section_->setMaximumWidth(44);
  auto* set = MakeButton(this, QStringLiteral("CmdSetClock"), QStringLiteral("设置闹钟"));
  grid->addWidget(MakeLabel(this, QStringLiteral("lblSect"), QStringLiteral("响铃时段")), 6, 0, 1, 2);
  grid->addWidget(section_, 6, 2);
  grid->addWidget(set, 7, 0, 1, 4);
  grid->setRowStretch(8, 1);
  context_.OnClick(set, [this] { SetClock(); });
}

void RingSchedulePanel::SetClock() {
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  // Eleven values, the last always zero: the library loads at most ten.
  std::vector<Variant> times(11, Variant(tallygate::Date{0}));
  for (size_t i = 0; i < hours_.size(); ++i) {
    // A time the fields' checks refuse would not convert: say which.
    for (QLineEdit* field : {hours_[i], minutes_[i]}) {
      const QString problem = RingFieldProblem(field->text(), field == hours_[i]);
      if (problem.isEmpty()) continue;
      context_.Message(problem, TG_MB_ICON_QUESTION);
      field->setFocus();
      return;
    }
    times[i] = Variant(tallygate::Date{*RingTime(hours_[i]->text(), minutes_[i]->text())});
  }
  const Outcome outcome = context_.link->Call(
      "SetClock", {Variant(*address), Variant(std::move(times)), Text(section_->text())});
  context_.SetStatus(IsTrue(outcome) ? QStringLiteral("成功")
                                     : FormContext::Failure(QStringLiteral("不成功"), outcome));
}

}  // namespace tallydemo
