// Cards and address: reading the card at the terminal's reader, issuing,
// withdrawing and finding a card, changing the terminal's address, and the
// button that opens the record-upload panel.
#ifndef TALLYGATE_DEMO_CARD_PANEL_H_
#define TALLYGATE_DEMO_CARD_PANEL_H_

#include <QGroupBox>

class QLineEdit;

namespace tallydemo {

struct FormContext;

class CardPanel : public QGroupBox {
  Q_OBJECT

 public:
  CardPanel(FormContext& context, QWidget* parent);

  // Rewrites TxtNo as eight characters (trimmed, cut or filled with "0" on
  // the left); false after a message when it is empty.
  bool NormalizeStaffNumber();

 signals:
  // "下传打卡数据" was clicked.
  void recordUploadRequested();

 private:
  void ReadCard();
  void IssueCard();
  void WithdrawCard();
  void FindCard();
  void ChangeAddress();
  // The card-number field when the card commands take it; otherwise
  // `message` is shown (when not empty) and nothing is returned.
  bool CardNumberReady(const QString& message) const;

  FormContext& context_;
  QLineEdit* card_;
  QLineEdit* staff_;
  QLineEdit* new_address_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_CARD_PANEL_H_
