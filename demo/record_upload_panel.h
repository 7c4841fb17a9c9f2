// The record-upload panel ("下发打卡数据"), opened over the window: loads
// attendance record lines from a file into a list and writes the selected
// ones, or one typed record, into a terminal's record memory.
#ifndef TALLYGATE_DEMO_RECORD_UPLOAD_PANEL_H_
#define TALLYGATE_DEMO_RECORD_UPLOAD_PANEL_H_

#include <QFrame>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;

namespace tallydemo {

struct FormContext;

class RecordUploadPanel : public QFrame {
  Q_OBJECT

 public:
  RecordUploadPanel(FormContext& context, QWidget* parent);

  // Shows the panel at the left edge of its parent, for terminal `address`.
  void Open(const QString& address);

 private:
  void LoadData();
  void SendSelected();
  void SendOne();
  void SelectAll(bool selected);

  FormContext& context_;
  QLineEdit* address_;
  QListWidget* list_;
  QLabel* count_;
  QLineEdit* record_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_RECORD_UPLOAD_PANEL_H_
