// FrmDemo: DemoConsole's one window. It holds the link object for its whole
// life, restores its settings at start-up and saves them when closed by its
// frame, and carries the panels through which the operator drives every
// member of the library's object: connection, collection, counts and
// memory, clock and parameters, cards, ring schedule, terminal functions,
// and the two panels that open over the window.
//
// Every control bears its control name as its objectName ("Command4",
// "TxtAddress", "TxtF(3)"); the status line is the status bar's message.
#ifndef TALLYGATE_DEMO_FRM_DEMO_H_
#define TALLYGATE_DEMO_FRM_DEMO_H_

#include <QMainWindow>
#include <QString>

#include "demo/form_context.h"
#include "demo/link_object.h"

class QCloseEvent;
class QLabel;
class QProgressBar;

namespace tallydemo {

class CardPanel;
class CollectionPanel;
class ConnectionPanel;
class Desktop;
class MessagePanel;
class OutputFormatFrame;
class RecordUploadPanel;
class TerminalPanel;

// The section of Public.Sys the window uses.
inline const QString kPublicSysSection = QStringLiteral("Q7R4Demo");

class FrmDemo : public QMainWindow {
  Q_OBJECT

 public:
  // Takes over `link` (created by its programmatic identifier) and runs the
  // start-up: settings, the saved port, Public.Sys in `folder`, the
  // library's version. `desktop` must outlive the window.
  FrmDemo(LinkObject link, Desktop& desktop, const QString& folder, QWidget* parent = nullptr);
  ~FrmDemo() override;

  // Loads and saves the collection options and separators in Public.Sys.
  void ReadSys();
  void WriteSys() const;

  // One collected record line in the operator's layout.
  QString DataBaseForm(const QString& line) const;

  // TCP mode and the connect button, as the operator would: for the
  // --tcp option.
  void ConnectTcp(const QString& host, const QString& port);
  // Puts `address` in the address field: for the --address option.
  void SetAddress(const QString& address);

  const QString& public_sys_path() const { return public_sys_; }
  // The link object; empty after the exit button.
  const LinkObject& link() const { return link_; }
  bool busy() const { return context_.busy(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void Exit();

  LinkObject link_;
  FormContext context_;
  QString public_sys_;
  ConnectionPanel* connection_ = nullptr;
  CollectionPanel* collection_ = nullptr;
  OutputFormatFrame* format_ = nullptr;
  CardPanel* cards_ = nullptr;
  TerminalPanel* terminal_ = nullptr;
  RecordUploadPanel* record_upload_ = nullptr;
  MessagePanel* message_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* version_ = nullptr;
  bool exited_ = false;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_FRM_DEMO_H_
