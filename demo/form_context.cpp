#include "demo/form_context.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QStatusBar>
#include <QWidget>

#include "demo/field_checks.h"
#include "tallygate/host_services.h"

namespace tallydemo {
namespace {

// Drops input meant for one window.
class InputBlocker : public QObject {
 public:
  explicit InputBlocker(QWidget* window) : window_(window) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::TouchBegin:
        return watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == window_;
      default:
        return false;
    }
  }

 private:
  QWidget* window_;
};

}  // namespace

void FormContext::SetStatus(const QString& text) const {
  if (status != nullptr) status->showMessage(text);
}

QString FormContext::Failure(const QString& text, const Outcome& outcome) {
  if (outcome.ok()) return text;
  return text + QStringLiteral("  ") + QString::fromStdString(outcome.description);
}

int FormContext::Message(const QString& text, int style, const QString& title) const {
  return desktop->MessageBox(title, text, style);
}

QString FormContext::AddressText() const { return address->text(); }

std::optional<int16_t> FormContext::AddressNumber() const {
  const std::optional<int16_t> number = ToInteger16(address->text().trimmed());
  if (!number) Message(kEnterAddressMessage, TG_MB_ICON_QUESTION);
  return number;
}

std::optional<int16_t> FormContext::CheckedAddress() const {
  const std::optional<int16_t> number = ToInteger16(address->text().trimmed());
  if (!number || *number < 0 || *number > 255) {
    Message(kEnterAddressMessage, TG_MB_ICON_QUESTION);
    return std::nullopt;
  }
  return number;
}

bool FormContext::Run(const std::function<void()>& command) {
  if (busy_) return false;
  busy_ = true;
  InputBlocker blocker(window);
  if (window != nullptr) QCoreApplication::instance()->installEventFilter(&blocker);
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{busy_};
  command();
  if (window != nullptr) QCoreApplication::instance()->removeEventFilter(&blocker);
  return true;
}

void FormContext::OnClick(QAbstractButton* button, std::function<void()> command) {
  QObject::connect(button, &QAbstractButton::clicked, button,
                   [this, command = std::move(command)] { Run(command); });
}

}  // namespace tallydemo
