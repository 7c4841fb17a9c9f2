// ModDemo: the program's folder and its initialisation file Public.Sys.
#ifndef TALLYGATE_DEMO_MOD_DEMO_H_
#define TALLYGATE_DEMO_MOD_DEMO_H_

#include <QString>

namespace tallydemo {

// Where the program keeps Public.Sys and the collected files: the folder of
// the executable when it is writable, otherwise $XDG_DATA_HOME/TallyDemo
// (created when missing). No trailing slash.
QString ProgramFolder();

// ProgramFolder() + "/Public.Sys".
QString DefaultPublicSysPath();

// The value of `key` in `section` of `file` (empty: the default Public.Sys),
// at most 1999 characters and cut at the first NUL, as a 2000-character
// buffer returns it; empty text when there is none.
QString ReadPublicSys(const QString& section, const QString& key, const QString& file = {});

// Writes `value` to `key` of `section` in `file` (empty: the default
// Public.Sys). Returns whether it was written; the window does not look.
bool WritePublicSys(const QString& section, const QString& key, const QString& value,
                    const QString& file = {});

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_MOD_DEMO_H_
