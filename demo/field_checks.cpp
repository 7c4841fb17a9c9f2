#include "demo/field_checks.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace tallydemo {

std::optional<double> ParseNumber(const QString& text) {
  static const QRegularExpression kNumber(
      QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
  const QString trimmed = text.trimmed();
  if (!kNumber.match(trimmed).hasMatch()) return std::nullopt;
  bool ok = false;
  const double value = trimmed.toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int16_t> ToInteger16(const QString& text) {
  const std::optional<double> number = ParseNumber(text);
  if (!number) return std::nullopt;
  const double rounded = std::nearbyint(*number);  // half to even
  if (rounded < std::numeric_limits<int16_t>::min() ||
      rounded > std::numeric_limits<int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int16_t>(rounded);
}

QString AddressFieldProblem(const QString& text) {
  if (text.isEmpty()) return {};
  const std::optional<int16_t> address = ToInteger16(text);
  if (!address || *address < 1 || *address > 255) return kAddressRangeMessage;
  return {};
}

QString HourFieldProblem(const QString& text) {
  if (text.isEmpty()) return {};
  const std::optional<double> hour = ParseNumber(text);
  if (!hour) return kNumberMessage;
  if (*hour < 0 || *hour >= 24) return kHourRangeMessage;
  return {};
}

QString MinuteFieldProblem(const QString& text) {
  if (text.isEmpty()) return {};
  const std::optional<double> minute = ParseNumber(text);
  if (!minute) return kNumberMessage;
  if (*minute < 0 || *minute > 59) return kMinuteRangeMessage;
  return {};
}

QString RingFieldProblem(const QString& text, bool hour) {
  const QString problem = hour ? HourFieldProblem(text) : MinuteFieldProblem(text);
  if (!problem.isEmpty() || text.isEmpty()) return problem;
  const double value = *ParseNumber(text);
  return value == std::floor(value) ? QString() : kNumberMessage;
}

std::optional<double> RingTime(const QString& hour, const QString& minute) {
  if (!RingFieldProblem(hour, true).isEmpty() || !RingFieldProblem(minute, false).isEmpty()) {
    return std::nullopt;
  }
  const double h = hour.isEmpty() ? 0 : *ParseNumber(hour);
  const double m = minute.isEmpty() ? 0 : *ParseNumber(minute);
  return (h * 60 + m) / (24 * 60);
}

std::optional<QString> NormalizeStaffNumberText(const QString& text) {
  if (text.isEmpty()) return std::nullopt;
  const QString trimmed = text.trimmed();
  if (trimmed.size() >= 8) return trimmed.left(8);
  return trimmed.rightJustified(8, QLatin1Char('0'));
}

QString RelayWord(const QString& relay) { return (relay + QStringLiteral("0000")).left(4); }

QString IntervalWord(double minutes) {
  const auto value = static_cast<long long>(std::nearbyint(minutes));
  return (QStringLiteral("0000") + QString::number(value, 16).toUpper()).right(4);
}

QString PaddedCardNumber(const QString& card) {
  if (card.startsWith(QLatin1Char('-'))) {
    return QLatin1Char('-') + card.mid(1).rightJustified(7, QLatin1Char('0'));
  }
  return card.rightJustified(8, QLatin1Char('0'));
}

bool IsCardNumberText(const QString& text) {
  if (text.size() == 8) return true;
  static const QRegularExpression kDecimal(QStringLiteral(R"(^-?\d+$)"));
  return text.size() > 8 && text.size() <= 11 && kDecimal.match(text).hasMatch();
}

}  // namespace tallydemo
