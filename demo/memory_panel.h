// Counts and memory: the two record counts, the flag bits, and clearing the
// card flags, the card list and the attendance records (the last two after
// the operator confirms).
#ifndef TALLYGATE_DEMO_MEMORY_PANEL_H_
#define TALLYGATE_DEMO_MEMORY_PANEL_H_

#include <QGroupBox>

class QLabel;

namespace tallydemo {

struct FormContext;

class MemoryPanel : public QGroupBox {
  Q_OBJECT

 public:
  MemoryPanel(FormContext& context, QWidget* parent);

 private:
  void ReadRecordCount();
  void ReadCardCount();
  void ReadFlags();
  // The three clearing commands: `method` on the checked address, after
  // `question` (when not empty) is answered with anything but No.
  void Clear(const char* method, const QString& question, const QString& done,
             const QString& failed);

  FormContext& context_;
  QLabel* record_count_;
  QLabel* card_count_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_MEMORY_PANEL_H_
