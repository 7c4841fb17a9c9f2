// Public.Sys, DemoConsole's initialisation file: reading a value from
// whatever the file holds, and writing one back.
//
// Input: byte 0 splits the rest into a section name, a key, a value and
// the file (their lengths: bits 0-1, 2-3, 4-5, times four bytes). A value
// written under a plain section and key must read back as written, whatever
// else the file held.
#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "demo/public_sys.h"
#include "fuzz/fuzz_support.h"

namespace {

using tallygate::fuzz::Require;

// Printable ASCII without the characters the file's syntax uses, and no
// blanks at either end (those the reader takes off).
bool Plain(const QByteArray& text, bool value) {
  if (text.isEmpty()) return value;
  if (text.front() == ' ' || text.back() == ' ') return false;
  return std::all_of(text.begin(), text.end(), [value](char c) {
    return c >= 0x20 && c < 0x7F && (value || (c != '[' && c != ']' && c != '=' && c != ';'));
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto take = [&](size_t& at, size_t length) {
    length = std::min(length, size - at);
    QByteArray part(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(length));
    at += length;
    return part;
  };
  size_t at = 1;
  const QByteArray section = take(at, 4u * (data[0] & 0x03u));
  const QByteArray key = take(at, 4u * ((data[0] >> 2) & 0x03u));
  const QByteArray value = take(at, 4u * ((data[0] >> 4) & 0x03u));
  const std::filesystem::path file = tallygate::fuzz::WriteScratchFile("Public.Sys", data + at, size - at);
  const QString path = QString::fromStdString(file.string());

  tallydemo::ReadIniValue(path, QString::fromUtf8(section), QString::fromUtf8(key));
  const bool written = tallydemo::WriteIniValue(path, QString::fromUtf8(section), QString::fromUtf8(key),
                                                QString::fromUtf8(value));
  if (written && Plain(section, false) && !key.isEmpty() && Plain(key, false) && Plain(value, true)) {
    Require(tallydemo::ReadIniValue(path, QString::fromUtf8(section), QString::fromUtf8(key)) ==
                QString::fromUtf8(value),
            "a written value reads back");
  }
  return 0;
}
