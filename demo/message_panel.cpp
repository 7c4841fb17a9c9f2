#include "demo/message_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "demo/form_context.h"
#include "demo/form_widgets.h"

namespace tallydemo {

MessagePanel::MessagePanel(FormContext& context, QWidget* parent)
    : QFrame(parent), context_(context) {
  setObjectName(QStringLiteral("Picture3"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(2);
  setAutoFillBackground(true);
  auto* prompt = MakeLabel(this, QStringLiteral("lblMsgPrompt"),
                           QStringLiteral("请输入短信内容：（短信内容不能超过16个汉字。）"));
  message_ = MakeField(this, QStringLiteral("TxtMsg"), {}, 16);
  minutes_ = MakeField(this, QStringLiteral("Text6"), {});
  minutes_->setMaximumWidth(50);
  auto* ok = MakeButton(this, QStringLiteral("Command26"), QStringLiteral("确定"));
  auto* cancel = MakeButton(this, QStringLiteral("Command27"), QStringLiteral("取消"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(prompt, 0, 0, 1, 4);
  grid->addWidget(message_, 1, 0, 1, 4);
  grid->addWidget(MakeLabel(this, {}, QStringLiteral("显示时长")), 2, 0);
  grid->addWidget(minutes_, 2, 1);
  grid->addWidget(MakeLabel(this, {}, QStringLiteral("分钟")), 2, 2);
  grid->addWidget(ok, 3, 2);
  grid->addWidget(cancel, 3, 3);
  setFixedWidth(380);
  hide();

  context_.OnClick(ok, [this] { Send(); });
  connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
}

void MessagePanel::Open() {
  adjustSize();
  if (parentWidget() != nullptr) {
    move((parentWidget()->width() - width()) / 2, (parentWidget()->height() - height()) / 2);
  }
  show();
  raise();
  message_->setFocus();
}

void MessagePanel::Send() {
  const Outcome outcome = context_.link->Call(
      "SendShortMsg", {Text(context_.AddressText()), Text(minutes_->text()), Text(message_->text())});
  context_.SetStatus(IsTrue(outcome) ? QStringLiteral(" 发送短信成功!")
                                     : FormContext::Failure(QStringLiteral("发送短信失败!"), outcome));
  hide();
}

}  // namespace tallydemo
