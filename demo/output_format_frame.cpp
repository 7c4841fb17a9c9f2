#include "demo/output_format_frame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "demo/form_widgets.h"

namespace tallydemo {

OutputFormatFrame::OutputFormatFrame(QWidget* parent)
    : QGroupBox(QStringLiteral("采集数据输出格式"), parent) {
  setObjectName(QStringLiteral("fraOutputFormat"));
  auto* explanation = MakeLabel(
      this, QStringLiteral("Label19"),
      QStringLiteral("以下是用户所需要的采集数据的格式：如果以下面的例子填写那么得出的格式是"
                     "(机器地址物理卡号年月日时分秒),淡黄底为分隔符。"));
  explanation->setWordWrap(true);
  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  const std::array<QString, 8> initial = InitialFieldNames();
  for (int i = 0; i <= 8; ++i) {
    QLineEdit* separator = MakeField(this, ArrayName(QStringLiteral("TxtF"), i), {});
    separator->setStyleSheet(QStringLiteral("QLineEdit { background: #FFFFC0; }"));
    separator->setMaximumWidth(36);
    separators_[static_cast<size_t>(i)] = separator;
    row->addWidget(separator);
    if (i == 8) break;
    QLineEdit* name =
        MakeField(this, ArrayName(QStringLiteral("TxtT"), i), initial[static_cast<size_t>(i)]);
    name->setMaximumWidth(48);
    names_[static_cast<size_t>(i)] = name;
    row->addWidget(name);
  }
  row->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explanation);
  layout->addLayout(row);
}

RecordLayout OutputFormatFrame::Layout(bool decimal_card, bool full_year) const {
  RecordLayout layout;
  for (size_t i = 0; i < names_.size(); ++i) layout.names[i] = names_[i]->text();
  for (size_t i = 0; i < separators_.size(); ++i) layout.separators[i] = separators_[i]->text();
  layout.decimal_card = decimal_card;
  layout.full_year = full_year;
  return layout;
}

}  // namespace tallydemo
