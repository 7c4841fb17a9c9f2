// What the window's panels share: the link object, the desktop, the status
// line, the address field and the collection options, the program folder,
// and the rule that one command runs at a time.
#ifndef TALLYGATE_DEMO_FORM_CONTEXT_H_
#define TALLYGATE_DEMO_FORM_CONTEXT_H_

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include "demo/desktop.h"
#include "demo/link_object.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QStatusBar;
class QWidget;

namespace tallydemo {

inline const QString kEnterAddressMessage = QStringLiteral("请输入考勤机地址。");

struct FormContext {
  LinkObject* link = nullptr;
  Desktop* desktop = nullptr;
  QString folder;  // the program folder, no trailing slash

  // Set by the window once its controls exist.
  QWidget* window = nullptr;  // whose input is ignored while a command runs
  QStatusBar* status = nullptr;
  QLineEdit* address = nullptr;  // TxtAddress
  QCheckBox* is_check = nullptr;
  QCheckBox* year_check = nullptr;

  void SetStatus(const QString& text) const;
  // `text`, followed by two blanks and the description when the call raised
  // an error instead of returning its result.
  static QString Failure(const QString& text, const Outcome& outcome);

  // A message box titled with the program's name unless `title` is given.
  int Message(const QString& text, int style, const QString& title = kProgramTitle) const;

  // The address field as typed.
  QString AddressText() const;
  // The trimmed address field as a 16-bit integer, checked against 0 to 255.
  // Outside them, or not a number, shows "请输入考勤机地址。" and gives
  // nothing.
  std::optional<int16_t> CheckedAddress() const;
  // The same conversion without the range check; the library refuses
  // addresses it cannot send.
  std::optional<int16_t> AddressNumber() const;

  // A library call lets the window's events run while it waits; a command
  // clicked meanwhile would run inside it. So while one runs, the window's
  // mouse and keyboard input is dropped (the window still repaints, and the
  // library's own message boxes still take input) and timers skip.
  bool busy() const { return busy_; }
  // Runs `command` unless another command is running; returns whether it
  // ran.
  bool Run(const std::function<void()>& command);
  // Makes a click on `button` Run `command`.
  void OnClick(QAbstractButton* button, std::function<void()> command);

 private:
  bool busy_ = false;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_FORM_CONTEXT_H_
