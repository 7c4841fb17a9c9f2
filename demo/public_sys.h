// Initialisation files as the platform's profile functions read and write
// them: "[section]" header lines, then "key=value" lines; sections and keys
// are matched case-insensitively, the first of a name wins, and a value is
// the rest of its line with the blanks around it taken off (braces and any
// other character stay part of the value). Lines these functions do not
// understand are kept as they are.
#ifndef TALLYGATE_DEMO_PUBLIC_SYS_H_
#define TALLYGATE_DEMO_PUBLIC_SYS_H_

#include <QString>

namespace tallydemo {

// The value of `key` in `section` of the file at `path`; empty text when the
// file, the section or the key is missing or the file cannot be read.
QString ReadIniValue(const QString& path, const QString& section, const QString& key);

// Sets `key` of `section` to `value`: the key's line is rewritten in place,
// or added after the section's last entry, or the section is added at the
// end of the file, which is created when missing. The file is replaced in
// one step, so a failed write leaves the old one. Returns false when it
// cannot be written, or when a name or value would break the file's lines
// (a line break anywhere, "]" in the section, "=" in the key, an empty key).
bool WriteIniValue(const QString& path, const QString& section, const QString& key,
                   const QString& value);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_PUBLIC_SYS_H_
