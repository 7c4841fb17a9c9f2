// Small factories for the window's controls: each gets its control name as
// its objectName, so that tests and readers find it by the name the
// operator's documentation uses. Arrays of controls are named "TxtF(3)".
#ifndef TALLYGATE_DEMO_FORM_WIDGETS_H_
#define TALLYGATE_DEMO_FORM_WIDGETS_H_

#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tallydemo {

// "Name(i)", the name of element i of a control array.
QString ArrayName(const QString& name, int index);

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption);
// A text field; `max_length` 0 leaves the length free.
QLineEdit* MakeField(QWidget* parent, const QString& name, const QString& text,
                     int max_length = 0, const QString& hint = {});
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption);
QGroupBox* MakeFrame(QWidget* parent, const QString& name, const QString& caption);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_FORM_WIDGETS_H_
