#include "demo/editor_command.h"

#include <QProcess>

namespace tallydemo {

std::optional<EditorCommand> EditorCommandFor(const QString& file,
                                              const QProcessEnvironment& environment,
                                              const ProgramFinder& find_program) {
  const bool desktop = !environment.value(QStringLiteral("DISPLAY")).isEmpty() ||
                       !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
  if (desktop) {
    const QString opener = find_program(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) return EditorCommand{opener, {file}};
  }
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    QStringList words = QProcess::splitCommand(environment.value(QString::fromLatin1(variable)));
    if (words.isEmpty()) continue;
    const QString program = words.takeFirst();
    words << file;
    return EditorCommand{program, words};
  }
  return std::nullopt;
}

}  // namespace tallydemo
