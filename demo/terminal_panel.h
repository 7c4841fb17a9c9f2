// Terminal functions: display message (through the message panel), voice
// prompt, keypad password, storage mode and the start-up picture. The
// message, voice and picture commands work on the serial bus only.
#ifndef TALLYGATE_DEMO_TERMINAL_PANEL_H_
#define TALLYGATE_DEMO_TERMINAL_PANEL_H_

#include <QGroupBox>
#include <QString>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tallydemo {

struct FormContext;

class TerminalPanel : public QGroupBox {
  Q_OBJECT

 public:
  TerminalPanel(FormContext& context, QWidget* parent);

  // Enables or disables the serial-only commands.
  void SetSerialMode(bool serial);
  // The picture file last chosen for the download.
  const QString& picture_path() const { return picture_path_; }

 signals:
  // "发短信" was clicked.
  void messagePanelRequested();

 private:
  void PlaySound();
  void SetPassword();
  void ReadPassword();
  void ReadStorageMode();
  void SetStorageMode();
  void DownloadPicture();

  FormContext& context_;
  QPushButton* send_message_;
  QPushButton* sounds_;
  QPushButton* picture_;
  QLineEdit* sound_;
  QLineEdit* password_;
  QComboBox* storage_;
  QString picture_path_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_TERMINAL_PANEL_H_
