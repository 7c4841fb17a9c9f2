// The message panel, opened over the window: a message of at most 16
// characters and how many minutes the terminal shows it.
#ifndef TALLYGATE_DEMO_MESSAGE_PANEL_H_
#define TALLYGATE_DEMO_MESSAGE_PANEL_H_

#include <QFrame>

class QLineEdit;

namespace tallydemo {

struct FormContext;

class MessagePanel : public QFrame {
  Q_OBJECT

 public:
  MessagePanel(FormContext& context, QWidget* parent);

  // Shows the panel in the middle of its parent.
  void Open();

 private:
  void Send();

  FormContext& context_;
  QLineEdit* message_;
  QLineEdit* minutes_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_MESSAGE_PANEL_H_
