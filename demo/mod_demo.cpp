#include "demo/mod_demo.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "demo/public_sys.h"

namespace tallydemo {
namespace {

constexpr qsizetype kBufferSize = 2000;

}  // namespace

QString ProgramFolder() {
  const QString own = QCoreApplication::applicationDirPath();
  if (!own.isEmpty() && ::access(QFile::encodeName(own).constData(), W_OK) == 0) return own;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                       QStringLiteral("/TallyDemo");
  QDir().mkpath(data);
  return data;
}

QString DefaultPublicSysPath() { return ProgramFolder() + QStringLiteral("/Public.Sys"); }

QString ReadPublicSys(const QString& section, const QString& key, const QString& file) {
  QString value = ReadIniValue(file.isEmpty() ? DefaultPublicSysPath() : file, section, key);
  const qsizetype nul = value.indexOf(QChar(u'\0'));
  if (nul >= 0) value.truncate(nul);
  value.truncate(kBufferSize - 1);
  return value;
}

bool WritePublicSys(const QString& section, const QString& key, const QString& value,
                    const QString& file) {
  return WriteIniValue(file.isEmpty() ? DefaultPublicSysPath() : file, section, key, value);
}

}  // namespace tallydemo
