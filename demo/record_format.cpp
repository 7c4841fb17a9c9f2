#include "demo/record_format.h"

#include <string_view>

#include "tallygate/record_line.h"

namespace tallydemo {
namespace {

// The fields of `line` as the library reads a record line. The reader works
// on bytes; Latin-1 gives one byte per character of the line (anything
// beyond Latin-1 becomes '?'), so its positions are the line's own.
class LineFields {
 public:
  LineFields(const QString& line, const RecordLayout& layout)
      : line_(line),
        bytes_(line.toLatin1()),
        fields_(tallygate::ParseRecordLine(
            std::string_view(bytes_.constData(), static_cast<size_t>(bytes_.size())),
            {layout.decimal_card, layout.full_year})) {}

  QString Piece(const QString& name) const {
    if (name == u"机号") return Cut(fields_.address);
    if (name == u"卡号") return Cut(fields_.card);
    if (name == u"年") return Cut(fields_.year);
    if (name == u"月") return Cut(fields_.month);
    if (name == u"日") return Cut(fields_.day);
    if (name == u"时") return Cut(fields_.hour);
    if (name == u"分") return Cut(fields_.minute);
    if (name == u"秒") return Cut(fields_.second);
    if (name == u"标志") return Cut(fields_.flags);
    return {};
  }

 private:
  QString Cut(std::string_view field) const {
    return line_.mid(field.data() - bytes_.constData(), static_cast<qsizetype>(field.size()));
  }

  const QString& line_;
  QByteArray bytes_;
  tallygate::RecordLineFields fields_;
};

}  // namespace

std::array<QString, 8> InitialFieldNames() {
  return {QStringLiteral("机号"), QStringLiteral("卡号"), QStringLiteral("年"),
          QStringLiteral("月"),   QStringLiteral("日"),   QStringLiteral("时"),
          QStringLiteral("分"),   QStringLiteral("秒")};
}

QString DataBaseForm(const QString& line, const RecordLayout& layout) {
  const LineFields fields(line, layout);
  QString out;
  for (size_t i = 0; i < layout.names.size(); ++i) {
    out += layout.separators[i];
    out += fields.Piece(layout.names[i].trimmed());
  }
  out += layout.separators[8];
  return out;
}

}  // namespace tallydemo
