// How the browse commands open a collected file in a text editor: a program
// and its argument list, started without a shell.
#ifndef TALLYGATE_DEMO_EDITOR_COMMAND_H_
#define TALLYGATE_DEMO_EDITOR_COMMAND_H_

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tallydemo {

struct EditorCommand {
  QString program;
  QStringList arguments;
  friend bool operator==(const EditorCommand&, const EditorCommand&) = default;
};

// Finds a program on the PATH of the environment; empty when there is none.
using ProgramFinder = std::function<QString(const QString& name)>;

// On a desktop (DISPLAY or WAYLAND_DISPLAY set) with xdg-open: xdg-open FILE,
// which opens the desktop's default editor for text. Otherwise $VISUAL, then
// $EDITOR, split into words as a command line is (quotes respected, nothing
// expanded), with FILE as the last argument. Nothing when none applies.
std::optional<EditorCommand> EditorCommandFor(const QString& file,
                                              const QProcessEnvironment& environment,
                                              const ProgramFinder& find_program);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_EDITOR_COMMAND_H_
