// Clock and parameters: setting the terminal's date and time from the
// computer's, the punch interval, the attendance and access-control mode
// words (simplified or traditional characters), and reading the parameter
// block.
#ifndef TALLYGATE_DEMO_CLOCK_PARAMETERS_PANEL_H_
#define TALLYGATE_DEMO_CLOCK_PARAMETERS_PANEL_H_

#include <QGroupBox>
#include <QString>

#include <optional>

class QLineEdit;
class QRadioButton;

namespace tallydemo {

struct FormContext;

class ClockParametersPanel : public QGroupBox {
  Q_OBJECT

 public:
  ClockParametersPanel(FormContext& context, QWidget* parent);

 private:
  void SetDateTime();
  void SetPunchInterval();
  // RepairSystemParameter with the relay and interval words and `mode`.
  void WriteParameters(const QString& mode, const QString& done, const QString& failed);
  void ReadParameters();
  // The interval minutes, or nothing (after a message) when not a number
  // from 0 up.
  std::optional<double> Minutes() const;

  FormContext& context_;
  QLineEdit* minutes_;
  QLineEdit* relay_;
  QRadioButton* simplified_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_CLOCK_PARAMETERS_PANEL_H_
