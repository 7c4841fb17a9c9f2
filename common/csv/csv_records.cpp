#include "common/csv/csv_records.h"

namespace tallygate::csv {

std::vector<Record> ReadRecords(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<Record> records;
  Record record;
  std::string field;
  int line = 1;
  size_t i = 0;
  // The record so far ends; an empty line is none.
  const auto end_record = [&] {
    record.fields.push_back(std::move(field));
    field.clear();
    if (record.fields.size() > 1 || !record.fields[0].empty()) records.push_back(std::move(record));
    record = Record{};
  };
  while (i < text.size()) {
    if (record.fields.empty() && field.empty()) record.line = line;
    const char c = text[i];
    if (c == '"') {
      if (!field.empty()) throw FormatError(line, "a quote inside a field that does not start with one");
      const int opened = line;
      for (++i;; ++i) {
        if (i == text.size()) throw FormatError(opened, "a quoted field is never closed");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
            continue;
          }
          break;
        }
        if (text[i] == '\n') ++line;
        field += text[i];
      }
      ++i;  // the closing quote
      if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
        throw FormatError(line, "text after a closing quote");
      }
      continue;
    }
    if (c == ',') {
      record.fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      end_record();
      ++line;
    } else {
      field += c;
    }
    ++i;
  }
  if (!record.fields.empty() || !field.empty()) end_record();
  return records;
}

}  // namespace tallygate::csv
