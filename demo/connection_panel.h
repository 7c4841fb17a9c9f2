// The connection panel ("通讯基础设置"): serial port or TCP, the port
// toolbar Com1 to Com5, the TCP address, port and connect button, the TCP
// state shown every 2 seconds, and the terminal address field.
#ifndef TALLYGATE_DEMO_CONNECTION_PANEL_H_
#define TALLYGATE_DEMO_CONNECTION_PANEL_H_

#include <QGroupBox>
#include <QIcon>
#include <QString>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSettings;
class QTimer;
class QToolBar;
class QToolButton;

namespace tallydemo {

struct FormContext;

// The text shown for a tcpState value.
QString TcpStateText(int state);

class ConnectionPanel : public QGroupBox {
  Q_OBJECT

 public:
  ConnectionPanel(FormContext& context, QWidget* parent);

  QLineEdit* address_field() const { return address_; }

  // Start-up: fills the fields from `settings` and opens the saved port.
  void Load(QSettings& settings);
  // Window closing: the port last chosen, the address and the TCP fields.
  void Save(QSettings& settings) const;
  // Writes one section's "Value".
  static void WriteSetting(QSettings& settings, const QString& section, const QString& value);

  // Opens COM `port` and shows the outcome on its button and the status line.
  void SelectComPort(int port);

  // What the --tcp option asks: TCP mode, the fields, then the connect
  // button as if clicked.
  void ConnectTcp(const QString& host, const QString& port);

 signals:
  // Serial mode chosen (true) or TCP mode (false): the serial-only commands
  // follow it.
  void serialModeChanged(bool serial);

 private:
  enum Image { kOpened = 0, kNeutral = 1, kFailed = 2 };

  void ComButtonClicked(int index);
  void SetButton(int index, bool pressed, Image image);
  void SelectSerial();
  void SelectTcp();
  void ConnectClicked();
  void ShowTcpState();

  FormContext& context_;
  QRadioButton* opt_com_;
  QRadioButton* opt_tcp_;
  QToolBar* toolbar_;
  std::array<QToolButton*, 5> com_buttons_{};
  std::array<QIcon, 3> images_;
  QLineEdit* ip_;
  QLineEdit* tcp_port_;
  QPushButton* connect_;
  QLabel* tcp_state_;
  QLineEdit* address_;
  QTimer* timer_;
  QString saved_port_ = QStringLiteral("2");
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_CONNECTION_PANEL_H_
