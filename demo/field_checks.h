// The window's checks and conversions of field texts, apart from the
// widgets: numbers as the operator types them, the validation of the
// address and ring-time fields, and the words the commands build from
// fields.
#ifndef TALLYGATE_DEMO_FIELD_CHECKS_H_
#define TALLYGATE_DEMO_FIELD_CHECKS_H_

#include <QString>

#include <cstdint>
#include <optional>

namespace tallydemo {

// Messages of the field validation.
inline const QString kAddressRangeMessage = QStringLiteral("请输入‘1 → 255  之间的数字字符！");
inline const QString kNumberMessage = QStringLiteral("请输入数字！");
inline const QString kHourRangeMessage = QStringLiteral("请输入‘０ → ２３  之间的数字！");
inline const QString kMinuteRangeMessage = QStringLiteral("请输入０ → ５９之间的数字！");

// A decimal number with blanks around it, an optional sign, an optional
// fraction and exponent ("12", " -3.5 ", "1e2"); nothing for any other text.
std::optional<double> ParseNumber(const QString& text);

// The text as a 16-bit integer, rounded half to even as the component's
// conversions round; nothing when it is not a number or out of range.
std::optional<int16_t> ToInteger16(const QString& text);

// Validation when the focus leaves a field: the message to show, or empty
// text when the value is accepted. Empty text is always accepted.
// Address: 1 to 255 (text that is no 16-bit integer is refused too).
QString AddressFieldProblem(const QString& text);
// Ring-time hour: a number from 0 to below 24.
QString HourFieldProblem(const QString& text);
// Ring-time minute: a number from 0 to 59.
QString MinuteFieldProblem(const QString& text);

// What the ring-schedule command refuses in an hour (`hour` true) or minute
// field: the field's validation, and a number that is not whole
// (kNumberMessage). Empty text when the field can be sent.
QString RingFieldProblem(const QString& text, bool hour);

// The time of day of one ring-time row, as a date serial of day 0 (the
// fraction of a day); an empty field counts as 0. Nothing when either field
// has a RingFieldProblem.
std::optional<double> RingTime(const QString& hour, const QString& minute);

// The staff number trimmed, then cut or filled with "0" on the left to
// eight characters; nothing for an empty field.
std::optional<QString> NormalizeStaffNumberText(const QString& text);

// Relay word: the relay-delay text followed by "0000", cut to four
// characters ("05" gives "0500").
QString RelayWord(const QString& relay);

// Interval word: the minutes in upper-case hexadecimal, "0000" in front, cut
// to the last four characters (30 gives "001E").
QString IntervalWord(double minutes);

// A card number as read from the terminal (decimal text), shown with "0" in
// front to eight characters. Longer numbers stay whole and negative ones
// keep their sign in front, so the text always names the card it came from.
QString PaddedCardNumber(const QString& card);

// Whether the card-number field holds a card number the card commands take:
// eight characters, or a longer decimal number of at most eleven characters
// (what PaddedCardNumber gives for large or negative numbers).
bool IsCardNumberText(const QString& text);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_FIELD_CHECKS_H_
