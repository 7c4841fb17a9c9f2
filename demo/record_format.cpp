#include "demo/record_format.h"

namespace tallydemo {
namespace {

// Piece of `line` from 1-based `start`, `length` characters, cut at its end.
QString Mid(const QString& line, qsizetype start, qsizetype length) {
  if (start > line.size()) return {};
  return line.mid(start - 1, length);
}

QString Piece(const QString& line, const QString& name, const RecordLayout& layout) {
  // Date and time start after the address (3) and the card (8 or 10).
  qsizetype p = 12;
  if (layout.decimal_card) p += 2;
  if (layout.full_year) p += 2;
  if (name == u"机号") return Mid(line, 1, 3);
  if (name == u"卡号") return Mid(line, 4, layout.decimal_card ? 10 : 8);
  if (name == u"年") return layout.full_year ? Mid(line, p - 2, 4) : Mid(line, p, 2);
  if (name == u"月") return Mid(line, p + 2, 2);
  if (name == u"日") return Mid(line, p + 4, 2);
  if (name == u"时") return Mid(line, p + 6, 2);
  if (name == u"分") return Mid(line, p + 8, 2);
  if (name == u"秒") return Mid(line, p + 10, 2);
  if (name == u"标志") return Mid(line, p + 12, 4);
  return {};
}

}  // namespace

std::array<QString, 8> InitialFieldNames() {
  return {QStringLiteral("机号"), QStringLiteral("卡号"), QStringLiteral("年"),
          QStringLiteral("月"),   QStringLiteral("日"),   QStringLiteral("时"),
          QStringLiteral("分"),   QStringLiteral("秒")};
}

QString DataBaseForm(const QString& line, const RecordLayout& layout) {
  QString out;
  for (size_t i = 0; i < layout.names.size(); ++i) {
    out += layout.separators[i];
    out += Piece(line, layout.names[i].trimmed(), layout);
  }
  out += layout.separators[8];
  return out;
}

}  // namespace tallydemo
