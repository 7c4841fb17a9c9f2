// Collection and data views: collecting the attendance records (rewritten
// into DataRecordSet.txt in the operator's layout) and the card list,
// opening either file in a text editor, and verifying the collected records.
#ifndef TALLYGATE_DEMO_COLLECTION_PANEL_H_
#define TALLYGATE_DEMO_COLLECTION_PANEL_H_

#include <QGroupBox>
#include <QString>

class QCheckBox;
class QLineEdit;
class QProgressBar;

namespace tallydemo {

struct FormContext;
class OutputFormatFrame;

// The files of the program folder that collection writes and reads.
inline const QString kOriginalRecordFile = QStringLiteral("DataRecordSet_original.txt");
inline const QString kRecordFile = QStringLiteral("DataRecordSet.txt");
inline const QString kNameListFile = QStringLiteral("NameList.txt");

class CollectionPanel : public QGroupBox {
  Q_OBJECT

 public:
  // `format` and `progress` belong to the window; they outlive the panel's
  // use of them.
  CollectionPanel(FormContext& context, const OutputFormatFrame& format, QProgressBar* progress,
                  QWidget* parent);

  QCheckBox* is_check() const { return is_check_; }
  QCheckBox* year_check() const { return year_check_; }

  // One collected record line in the operator's layout.
  QString DataBaseForm(const QString& line) const;

 private:
  void CollectRecords();
  // Writes the reformatted lines of the collected file into `out`; false
  // with `problem` set when a file fails.
  bool Reformat(const QString& out_path, QString* problem) const;
  void CollectCardList();
  void Browse(const QString& file_name);
  void Verify();

  FormContext& context_;
  const OutputFormatFrame& format_;
  QProgressBar* progress_;
  QCheckBox* year_check_;
  QCheckBox* is_check_;
  QLineEdit* sleep_date_;
  QLineEdit* interval_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_COLLECTION_PANEL_H_
