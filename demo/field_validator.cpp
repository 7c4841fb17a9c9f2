#include "demo/field_validator.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QMetaObject>

#include "demo/desktop.h"
#include "tallygate/host_services.h"

namespace tallydemo {

FieldValidator::FieldValidator(QLineEdit* field, Check check, bool clear_refused,
                               Desktop& desktop)
    : QObject(field), field_(field), check_(check), clear_refused_(clear_refused),
      desktop_(desktop) {}

void FieldValidator::Attach(QLineEdit* field, Check check, bool clear_refused, Desktop& desktop) {
  field->installEventFilter(new FieldValidator(field, check, clear_refused, desktop));
}

bool FieldValidator::eventFilter(QObject* watched, QEvent* event) {
  if (watched != field_ || event->type() != QEvent::FocusOut || showing_) return false;
  // Focus lost to another window or a pop-up (the message box itself) is not
  // the operator leaving the field.
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
  const QString problem = check_(field_->text());
  if (problem.isEmpty()) return false;
  showing_ = true;
  desktop_.MessageBox(kProgramTitle, problem, TG_MB_ICON_QUESTION);
  showing_ = false;
  if (clear_refused_) field_->clear();
  QMetaObject::invokeMethod(field_, [field = field_] { field->setFocus(Qt::OtherFocusReason); },
                            Qt::QueuedConnection);
  return false;
}

}  // namespace tallydemo
