// The operator's layout of a collected attendance record line (the file
// DataRecordSet.txt): chosen fields of the line, in a chosen order, with
// separators between them.
#ifndef TALLYGATE_DEMO_RECORD_FORMAT_H_
#define TALLYGATE_DEMO_RECORD_FORMAT_H_

#include <QString>

#include <array>

namespace tallydemo {

struct RecordLayout {
  // Field names in output order; "机号", "卡号", "年", "月", "日", "时",
  // "分", "秒" and "标志" are known (blanks around them ignored), any other
  // name gives nothing.
  std::array<QString, 8> names;
  // separators[i] goes before field i, separators[8] after the last.
  std::array<QString, 9> separators;
  bool decimal_card = false;  // the line's card number has 10 digits
  bool full_year = false;     // the line's year has 4 digits
};

// The initial field names: terminal, card, year, month, day, hour, minute,
// second.
std::array<QString, 8> InitialFieldNames();

// The line in `layout`. Pieces that run past the end of the line are cut
// there, so a short or empty line gives short pieces and never fails.
QString DataBaseForm(const QString& line, const RecordLayout& layout);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_RECORD_FORMAT_H_
