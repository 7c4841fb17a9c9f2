#include "demo/clock_parameters_panel.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

#include "demo/field_checks.h"
#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/host_services.h"

namespace tallydemo {

ClockParametersPanel::ClockParametersPanel(FormContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("时钟与系统参数"), parent), context_(context) {
  setObjectName(QStringLiteral("fraClockParameters"));
  minutes_ = MakeField(this, QStringLiteral("Txt_Minute"), QStringLiteral("0000"), 4);
  minutes_->setMaximumWidth(60);
  relay_ = MakeField(this, QStringLiteral("TxtY"), QStringLiteral("00"), 4);
  relay_->setMaximumWidth(60);
  simplified_ = new QRadioButton(QStringLiteral("简体"), this);
  simplified_->setObjectName(QStringLiteral("OpJT"));
  simplified_->setChecked(true);
  auto* traditional = new QRadioButton(QStringLiteral("繁体"), this);
  traditional->setObjectName(QStringLiteral("OpFT"));

  auto* date_time = MakeButton(this, QStringLiteral("Command12"), QStringLiteral("修改日期时间"));
  auto* delay = MakeButton(this, QStringLiteral("Cmd_Delay"), QStringLiteral("打卡延时"));
  auto* attendance = MakeButton(this, QStringLiteral("Command13"), QStringLiteral("设置考勤模式"));
  auto* access = MakeButton(this, QStringLiteral("Command23"), QStringLiteral("设置门禁模式"));
  auto* read = MakeButton(this, QStringLiteral("Command24"), QStringLiteral("读系统参数"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblMinute"), QStringLiteral("打卡间隔分钟：")), 0, 0);
  grid->addWidget(minutes_, 0, 1);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblRelay"), QStringLiteral("继电器延时：")), 1, 0);
  grid->addWidget(relay_, 1, 1);
  auto* charset = new QHBoxLayout;
  charset->addWidget(simplified_);
  charset->addWidget(traditional);
  grid->addLayout(charset, 2, 0, 1, 2);
  grid->addWidget(date_time, 0, 2);
  grid->addWidget(delay, 1, 2);
  grid->addWidget(attendance, 2, 2);
  grid->addWidget(access, 3, 2);
  grid->addWidget(read, 3, 0, 1, 2);

  context_.OnClick(date_time, [this] { SetDateTime(); });
  context_.OnClick(delay, [this] { SetPunchInterval(); });
  context_.OnClick(attendance, [this] {
    WriteParameters(simplified_->isChecked() ? QStringLiteral("0000") : QStringLiteral("4000"),
                    QStringLiteral("考勤模式设置成功!"), QStringLiteral("考勤模式设置失败!"));
  });
  context_.OnClick(access, [this] {
    WriteParameters(simplified_->isChecked() ? QStringLiteral("8000") : QStringLiteral("C000"),
                    QStringLiteral("门禁模式设置成功!"), QStringLiteral("门禁模式设置失败!"));
  });
  context_.OnClick(read, [this] { ReadParameters(); });
}

void ClockParametersPanel::SetDateTime() {
  const std::optional<int16_t> address = context_.CheckedAddress();
  if (!address) return;
  context_.SetStatus({});
  const QDateTime now = QDateTime::currentDateTime();
  const Outcome outcome = context_.link->Call(
      "ModifyDateTime", {Variant(*address), Text(now.toString(QStringLiteral("yyMMdd"))),
                         Text(now.toString(QStringLiteral("HHmmss"))), Text(QStringLiteral("01"))});
  context_.SetStatus(IsTrue(outcome)
                         ? QStringLiteral("修改日期成功")
                         : FormContext::Failure(QStringLiteral("修改日期不成功"), outcome));
}

std::optional<double> ClockParametersPanel::Minutes() const {
  const std::optional<double> minutes = ParseNumber(minutes_->text());
  if (!minutes || *minutes < 0) {
    context_.Message(kNumberMessage, TG_MB_ICON_QUESTION);
    return std::nullopt;
  }
  return minutes;
}

void ClockParametersPanel::SetPunchInterval() {
  context_.SetStatus({});
  const std::optional<double> minutes = Minutes();
  if (!minutes) return;
  if (std::floor(*minutes) > 1440) {
    context_.Message(QStringLiteral("时间不能大于1440钟"), TG_MB_OK);
    return;
  }
  WriteParameters(QStringLiteral("0000"), QStringLiteral("设置打卡延时成功!"),
                  QStringLiteral("设置打卡延时失败"));
}

void ClockParametersPanel::WriteParameters(const QString& mode, const QString& done,
                                           const QString& failed) {
  const std::optional<int16_t> address = context_.AddressNumber();
  if (!address) return;
  const std::optional<double> minutes = Minutes();
  if (!minutes) return;
  const Outcome outcome = context_.link->Call(
      "RepairSystemParameter",
      {Variant(*address), Text(RelayWord(relay_->text())), Text(IntervalWord(*minutes)), Text(mode)});
  context_.SetStatus(IsTrue(outcome) ? done : FormContext::Failure(failed, outcome));
}

void ClockParametersPanel::ReadParameters() {
  Variant parameters{""};
  const Outcome outcome = context_.link->Call(
      "ReadSystemParameter", {Text(context_.AddressText()), Variant::Ref(parameters)});
  context_.SetStatus(IsTrue(outcome)
                         ? QStringLiteral("参数为：") + TextOf(parameters)
                         : FormContext::Failure(QStringLiteral("读参数失败!"), outcome));
}

}  // namespace tallydemo
