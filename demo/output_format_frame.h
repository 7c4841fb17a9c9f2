// The output-format row of the collection: the eight field names TxtT(0) to
// TxtT(7) and the nine separators TxtF(0) to TxtF(8) (pale yellow) that
// shape each line of DataRecordSet.txt.
#ifndef TALLYGATE_DEMO_OUTPUT_FORMAT_FRAME_H_
#define TALLYGATE_DEMO_OUTPUT_FORMAT_FRAME_H_

#include <QGroupBox>

#include <array>

#include "demo/record_format.h"

class QLineEdit;

namespace tallydemo {

class OutputFormatFrame : public QGroupBox {
  Q_OBJECT

 public:
  explicit OutputFormatFrame(QWidget* parent);

  QLineEdit* separator(int index) const { return separators_[static_cast<size_t>(index)]; }

  // The row as it stands, with the two options of the collection.
  RecordLayout Layout(bool decimal_card, bool full_year) const;

 private:
  std::array<QLineEdit*, 8> names_{};
  std::array<QLineEdit*, 9> separators_{};
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_OUTPUT_FORMAT_FRAME_H_
