// What the window asks of the desktop: modal message boxes, the file-open
// dialog, the about box and a text editor. The window and the library's host
// services go through this interface, so that tests can answer in place of
// an operator.
#ifndef TALLYGATE_DEMO_DESKTOP_H_
#define TALLYGATE_DEMO_DESKTOP_H_

#include <QString>

class QWidget;

namespace tallydemo {

// Title of message boxes whose text comes without one.
inline const QString kProgramTitle = QStringLiteral("DemoConsole");

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal message box. `style` is one button set plus one icon, the
  // TG_MB_ values of tallygate/host_services.h; returns a TG_ANSWER_ value.
  virtual int MessageBox(const QString& title, const QString& text, int style) = 0;

  // A file-open dialog with a Qt name filter ("Text (*.txt)"); the chosen
  // path, or empty text when cancelled.
  virtual QString OpenFileName(const QString& filter) = 0;

  // The library's about box; returns when the operator closes it.
  virtual void ShowAbout(const QString& caption, const QString& version,
                         const QString& second_label) = 0;

  // Opens `path` in a text editor and returns at once; false when no editor
  // could be started.
  virtual bool OpenInEditor(const QString& path) = 0;
};

// The real desktop: Qt message boxes and dialogs over `parent` (may be null),
// and the editor EditorCommandFor chooses, started detached.
class QtDesktop : public Desktop {
 public:
  explicit QtDesktop(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }

  int MessageBox(const QString& title, const QString& text, int style) override;
  QString OpenFileName(const QString& filter) override;
  void ShowAbout(const QString& caption, const QString& version,
                 const QString& second_label) override;
  bool OpenInEditor(const QString& path) override;

 private:
  QWidget* parent_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_DESKTOP_H_
