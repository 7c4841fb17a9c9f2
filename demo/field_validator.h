// Validation of a field when the input focus leaves it: a refused value
// shows its message with a question icon and the focus goes back to the
// field, so the operator corrects it before going on.
#ifndef TALLYGATE_DEMO_FIELD_VALIDATOR_H_
#define TALLYGATE_DEMO_FIELD_VALIDATOR_H_

#include <QObject>
#include <QString>

class QLineEdit;

namespace tallydemo {

class Desktop;

class FieldValidator : public QObject {
  Q_OBJECT

 public:
  // The message for a refused text, or empty text when it is accepted.
  using Check = QString (*)(const QString& text);

  // Watches `field` (and lives as its child). `clear_refused` empties the
  // field after the message.
  static void Attach(QLineEdit* field, Check check, bool clear_refused, Desktop& desktop);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FieldValidator(QLineEdit* field, Check check, bool clear_refused, Desktop& desktop);

  QLineEdit* field_;
  Check check_;
  bool clear_refused_;
  Desktop& desktop_;
  bool showing_ = false;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_FIELD_VALIDATOR_H_
