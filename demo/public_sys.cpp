#include "demo/public_sys.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <optional>

namespace tallydemo {
namespace {

struct IniText {
  QStringList lines;
  QString line_end = QStringLiteral("\n");
};

std::optional<IniText> Load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QString text = QString::fromUtf8(file.readAll());
  IniText ini;
  if (text.contains(QStringLiteral("\r\n"))) ini.line_end = QStringLiteral("\r\n");
  ini.lines = text.split(QLatin1Char('\n'));
  if (!ini.lines.isEmpty() && ini.lines.back().isEmpty()) ini.lines.removeLast();
  for (QString& line : ini.lines) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  }
  return ini;
}

// The section a header line opens, or nothing for any other line.
std::optional<QString> SectionOf(const QString& line) {
  const QString trimmed = line.trimmed();
  if (!trimmed.startsWith(QLatin1Char('['))) return std::nullopt;
  const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
  if (close < 0) return std::nullopt;
  return trimmed.mid(1, close - 1).trimmed();
}

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsKeyLine(const QString& line, const QString& key) {
  const qsizetype equals = line.indexOf(QLatin1Char('='));
  return equals >= 0 && SameName(line.left(equals).trimmed(), key);
}

// Index of the header of `section`, or -1.
qsizetype FindSection(const QStringList& lines, const QString& section) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const std::optional<QString> name = SectionOf(lines[i]);
    if (name && SameName(*name, section)) return i;
  }
  return -1;
}

bool BreaksLines(const QString& text) {
  return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

}  // namespace

QString ReadIniValue(const QString& path, const QString& section, const QString& key) {
  const std::optional<IniText> ini = Load(path);
  if (!ini) return {};
  const qsizetype header = FindSection(ini->lines, section);
  if (header < 0) return {};
  for (qsizetype i = header + 1; i < ini->lines.size() && !SectionOf(ini->lines[i]); ++i) {
    const QString& line = ini->lines[i];
    if (IsKeyLine(line, key)) return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
  }
  return {};
}

bool WriteIniValue(const QString& path, const QString& section, const QString& key,
                   const QString& value) {
  if (BreaksLines(section) || BreaksLines(key) || BreaksLines(value) ||
      section.contains(QLatin1Char(']')) || key.contains(QLatin1Char('=')) ||
      key.trimmed().isEmpty()) {
    return false;
  }
  IniText ini;
  if (QFile::exists(path)) {
    std::optional<IniText> loaded = Load(path);
    if (!loaded) return false;
    ini = std::move(*loaded);
  }
  const QString entry = key + QLatin1Char('=') + value;
  const qsizetype header = FindSection(ini.lines, section);
  if (header < 0) {
    ini.lines << (QLatin1Char('[') + section + QLatin1Char(']')) << entry;
  } else {
    qsizetype last_entry = header;
    qsizetype found = -1;
    for (qsizetype i = header + 1; i < ini.lines.size() && !SectionOf(ini.lines[i]); ++i) {
      if (IsKeyLine(ini.lines[i], key)) {
        found = i;
        break;
      }
      if (!ini.lines[i].trimmed().isEmpty()) last_entry = i;
    }
    if (found >= 0) {
      ini.lines[found] = entry;
    } else {
      ini.lines.insert(last_entry + 1, entry);
    }
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write((ini.lines.join(ini.line_end) + ini.line_end).toUtf8());
  return file.commit();
}

}  // namespace tallydemo
