#include "demo/link_object.h"

#include "tallygate/component_server.h"
#include "tallygate/runtime.h"

namespace tallydemo {

Variant Text(const QString& text) { return Variant(text.toStdString()); }

QString TextOf(const Variant& value) {
  if (value.kind() != TG_TEXT) return {};
  const std::string_view text = value.text();
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<int32_t> NumberOf(const Variant& value) {
  switch (value.kind()) {
    case TG_BYTE: return value.byte_value();
    case TG_I2: return value.i2();
    case TG_I4: return value.i4();
    case TG_BOOL: return value.boolean() ? -1 : 0;
    default: return std::nullopt;
  }
}

bool IsTrue(const Outcome& outcome) {
  return outcome.ok() && outcome.result.kind() == TG_BOOL && outcome.result.boolean();
}

LinkObject LinkObject::Create(QString* problem) {
  tg_dispatch* raw = nullptr;
  tg_error error{};
  if (tg_create_object(TG_CONNECT_V70_PROG_ID, &raw, &error) != 0) {
    if (problem != nullptr) {
      *problem = QStringLiteral("%1 (%2)").arg(
          QString::fromUtf8(error.description != nullptr ? error.description : ""),
          QString::number(error.number));
    }
    tg_error_clear(&error);
    return {};
  }
  tg_error_clear(&error);
  return LinkObject(tallygate::DispatchRef::Adopt(raw));
}

Outcome LinkObject::Call(const char* name, const std::vector<Variant>& args) const {
  return object_.Invoke(name, TG_INVOKE_METHOD | TG_INVOKE_PROPERTY_GET, args);
}

bool LinkObject::CallBool(const char* name, const std::vector<Variant>& args) const {
  return IsTrue(Call(name, args));
}

Outcome LinkObject::Put(const char* name, const Variant& value) const {
  return object_.Invoke(name, TG_INVOKE_PROPERTY_PUT, {value});
}

}  // namespace tallydemo
