#include "demo/form_widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tallydemo {

QString ArrayName(const QString& name, int index) {
  return QStringLiteral("%1(%2)").arg(name).arg(index);
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* MakeField(QWidget* parent, const QString& name, const QString& text, int max_length,
                     const QString& hint) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  if (max_length > 0) field->setMaxLength(max_length);
  field->setText(text);
  if (!hint.isEmpty()) field->setToolTip(hint);
  return field;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  if (!name.isEmpty()) label->setObjectName(name);
  return label;
}

QGroupBox* MakeFrame(QWidget* parent, const QString& name, const QString& caption) {
  auto* frame = new QGroupBox(caption, parent);
  frame->setObjectName(name);
  return frame;
}

}  // namespace tallydemo
