#include "tools/tallygate/table_text.h"

#include "common/csv/csv_field.h"

namespace tallygate::cli {
namespace {

std::string CsvField(const Json& cell) {
  if (cell.is_null()) return {};
  if (cell.is_string()) return cell.get<std::string>();
  return JsonLine(cell);
}

void AppendCsvLine(std::string& text, const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ',';
    text += csv::Field(fields[i]);
  }
  text += "\r\n";
}

}  // namespace

std::string CsvText(const Table& table) {
  std::string text;
  AppendCsvLine(text, table.columns);
  std::vector<std::string> fields;
  for (const std::vector<Json>& row : table.rows) {
    fields.clear();
    for (const Json& cell : row) fields.push_back(CsvField(cell));
    AppendCsvLine(text, fields);
  }
  return text;
}

std::string JsonlText(const Table& table) {
  std::string text;
  for (const std::vector<Json>& row : table.rows) {
    Json object = Json::object();
    for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i) {
      object[table.columns[i]] = row[i];
    }
    text += JsonLine(object);
    text += '\n';
  }
  return text;
}

}  // namespace tallygate::cli
