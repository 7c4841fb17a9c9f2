// Reading RFC 4180 CSV: records of fields, each with the line it starts on,
// so that a program can say where a bad value is. Written here because no
// CSV reader is among the project's libraries, and a reader must count lines
// through quoted fields that hold line breaks to report them right.
#ifndef TALLYGATE_COMMON_CSV_CSV_RECORDS_H_
#define TALLYGATE_COMMON_CSV_CSV_RECORDS_H_

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tallygate::csv {

struct Record {
  int line = 0;  // of the file, from 1, where the record starts
  std::vector<std::string> fields;
};

// A file that is not CSV: a quote inside an unquoted field, text after a
// closing quote, a quoted field never closed. what() names the problem;
// line() is where.
class FormatError : public std::runtime_error {
 public:
  FormatError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// Every record of `text`. Records end with CRLF or LF (the last one may end
// with neither); a field in double quotes may hold commas, line breaks and
// doubled quotes. Empty lines are no records. A UTF-8 byte order mark at the
// start is skipped. Throws FormatError.
std::vector<Record> ReadRecords(std::string_view text);

}  // namespace tallygate::csv

#endif  // TALLYGATE_COMMON_CSV_CSV_RECORDS_H_
