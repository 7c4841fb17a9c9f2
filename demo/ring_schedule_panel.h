// The ring schedule: ten ring times (hour and minute fields, validated as
// the operator leaves them) and which of the terminal's three schedules
// they load.
#ifndef TALLYGATE_DEMO_RING_SCHEDULE_PANEL_H_
#define TALLYGATE_DEMO_RING_SCHEDULE_PANEL_H_

#include <QGroupBox>

#include <array>

class QLineEdit;

namespace tallydemo {

struct FormContext;

class RingSchedulePanel : public QGroupBox {
  Q_OBJECT

 public:
  RingSchedulePanel(FormContext& context, QWidget* parent);

 private:
  void SetClock();

  FormContext& context_;
  std::array<QLineEdit*, 10> hours_{};
  std::array<QLineEdit*, 10> minutes_{};
  QLineEdit* section_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_RING_SCHEDULE_PANEL_H_
