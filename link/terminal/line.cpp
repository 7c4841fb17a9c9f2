// Line: a serial bus or a TCP connection of its own, with the typed commands
// over the terminal commands (commands.h).
#include <algorithm>
#include <cctype>
#include <utility>

#include "link/protocol/units.h"
#include "link/terminal/commands.h"
#include "link/terminal/page_fetch.h"
#include "tallygate/record_values.h"
#include "link/text/card_name.h"
#include "link/text/char_map.h"
#include "link/text/code_page.h"
#include "tallygate/code_tables.h"
#include "link/text/locale_class.h"
#include "link/transport/line_error.h"
#include "link/transport/posix_tcp_socket.h"
#include "link/transport/serial_bus_transport.h"
#include "link/transport/serial_device.h"
#include "link/transport/tcp_transport.h"
#include "link/transport/termios_port.h"
#include "tallygate/terminal.h"

namespace tallygate {

struct Line::Impl {
  LineOptions options;
  std::unique_ptr<TermiosPort> port;     // a serial line's
  std::unique_ptr<PosixTcpSocket> socket;  // a TCP line's
  std::unique_ptr<Transport> transport;

  FrameExchange Exchange(const std::stop_token& stop) {
    return FrameExchange(*transport, WaitControl{false, stop});
  }
  int16_t LocaleClass() const;
};

namespace {

// The locale class whose card names FetchCards decodes for `coding`.
int16_t LocaleClassOf(NameCoding coding) {
  return coding == NameCoding::kBig5Mapped ? kLocaleTraditionalChinese : 0;
}

using Wait = commands::Wait;

Wait WaitOf(const CallOptions& options) {
  if (!options.wait) return std::nullopt;
  return options.wait->count();
}

// "COM3" or "3": the COM port's number; anything else is a device path.
std::optional<int16_t> ComNumber(const std::string& device) {
  std::string digits = device;
  if (digits.size() > 3 && std::equal(digits.begin(), digits.begin() + 3, "COM",
                                      [](char a, char b) {
                                        return std::toupper(static_cast<unsigned char>(a)) == b;
                                      })) {
    digits = digits.substr(3);
  }
  if (digits.empty() || digits.size() > 4 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int number = std::stoi(digits);
  if (number < 1 || number > 255) return std::nullopt;
  return static_cast<int16_t>(number);
}

Result<std::unique_ptr<Line::Impl>> OpenSerial(const SerialEndpoint& endpoint,
                                               LineOptions options) {
  auto impl = std::make_unique<Line::Impl>();
  impl->options = std::move(options);
  impl->port = std::make_unique<TermiosPort>();
  std::string name = endpoint.device;
  if (const std::optional<int16_t> com = ComNumber(endpoint.device)) {
    impl->port->SetCommPort(*com);
    name = "COM" + std::to_string(*com);
  } else if (endpoint.device.empty()) {
    return Error(ErrorCode::kInvalidArgument, "no serial device given");
  } else {
    impl->port->SetDevicePath(endpoint.device);
  }
  try {
    impl->port->SetSettings(kBusAddressSettings);
    impl->port->SetPortOpen(true);
  } catch (const BasicError& error) {
    return LineError(error);
  }
  impl->transport = std::make_unique<SerialBusTransport>(*impl->port, kBusAddressSettings,
                                                         kBusDataSettings, name);
  return impl;
}

Result<std::unique_ptr<Line::Impl>> OpenTcp(const TcpEndpoint& endpoint, LineOptions options) {
  auto impl = std::make_unique<Line::Impl>();
  impl->options = std::move(options);
  impl->socket = std::make_unique<PosixTcpSocket>();
  if (Status connected = ConnectTcp(*impl->socket, endpoint.host, endpoint.port,
                                    impl->options.connect_wait.count(), WaitControl{});
      !connected) {
    return connected.error();
  }
  impl->transport =
      std::make_unique<TcpTransport>(*impl->socket, TcpName(endpoint.host, endpoint.port));
  return impl;
}

Status SerialOnly(const Line::Impl& impl, uint8_t address, const char* what) {
  if (impl.transport->serial()) return {};
  return TerminalError(ErrorCode::kInvalidArgument, address,
                       std::string(what) + " works on a serial bus only");
}

Result<int32_t> CountFor(FrameExchange& exchange, uint8_t address,
                         const CommandSpec& spec, const FetchOptions& options) {
  if (options.count) return *options.count;
  return commands::Count(exchange, address, spec);
}

}  // namespace

std::string SerialDeviceFile(const SerialEndpoint& endpoint) {
  const std::optional<int16_t> com = ComNumber(endpoint.device);
  return com ? SerialDevicePath(*com) : endpoint.device;
}

Result<std::vector<std::string>> ResolveHost(const std::string& host) {
  return ResolveAddresses(host);
}

Result<Bytes> TerminalTextBytes(const std::string& text, NameCoding coding) {
  try {
    if (coding == NameCoding::kGbk) return EncodeText(text, CodePage::Gbk);
    if (!CodeTablesLoaded()) {
      return Error(ErrorCode::kInvalidArgument, "the Big5 to GB2312 tables are not loaded");
    }
    return MapBig5BytesToGb(EncodeText(text, CodePage::Big5));
  } catch (const BasicError& error) {
    return Error(ErrorCode::kInvalidArgument, "text \"" + text + "\": " + error.description());
  }
}

Result<HeldCardName> HoldCardName(const std::string& name, NameCoding coding) {
  HeldCardName held{name, {}, {}};
  Result<Bytes> bytes = TerminalTextBytes(held.enrolled, coding);
  // Cut after a whole character, never inside a double-byte one. The text is
  // UTF-8 once it could be converted.
  while (bytes && bytes->size() > kCardNameBytes) {
    while ((static_cast<uint8_t>(held.enrolled.back()) & 0xC0) == 0x80) held.enrolled.pop_back();
    held.enrolled.pop_back();
    bytes = TerminalTextBytes(held.enrolled, coding);
  }
  if (!bytes) return bytes.error();
  std::copy(bytes->begin(), bytes->end(), held.raw.begin());
  held.name = DecodeCardName(held.raw, LocaleClassOf(coding));
  return held;
}

Result<std::array<uint8_t, 4>> StaffNumberBytes(const std::string& digits) {
  if (digits.size() > 8 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return Error(ErrorCode::kInvalidArgument,
                 "staff number \"" + digits + "\" (up to 8 decimal digits)");
  }
  const std::string padded = std::string(8 - digits.size(), '0') + digits;
  std::array<uint8_t, 4> bytes{};
  for (size_t i = 0; i < 4; ++i) {
    bytes[i] = static_cast<uint8_t>((padded[2 * i] - '0') << 4 | (padded[2 * i + 1] - '0'));
  }
  return bytes;
}

int16_t Line::Impl::LocaleClass() const { return LocaleClassOf(options.names); }

Result<std::unique_ptr<Line>> Line::Open(const Endpoint& endpoint, LineOptions options) {
  Result<std::unique_ptr<Impl>> impl =
      std::holds_alternative<SerialEndpoint>(endpoint)
          ? OpenSerial(std::get<SerialEndpoint>(endpoint), std::move(options))
          : OpenTcp(std::get<TcpEndpoint>(endpoint), std::move(options));
  if (!impl) return impl.error();
  (*impl)->transport->SetTrace((*impl)->options.trace);
  return std::unique_ptr<Line>(new Line(std::move(*impl)));
}

Line::Line(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Line::~Line() = default;

std::string Line::Name() const { return impl_->transport->Name(); }
bool Line::serial() const { return impl_->transport->serial(); }

Result<int32_t> Line::RecordCount(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::Count(exchange, address, command::kRecordPages, WaitOf(options));
}

Result<int32_t> Line::CardCount(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::Count(exchange, address, command::kCardPages, WaitOf(options));
}

Result<FetchReport> Line::FetchRecords(
    uint8_t address, int32_t from, const std::function<void(const AttendanceRecord&)>& on_record,
    const FetchOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  const Result<int32_t> count = CountFor(exchange, address, command::kRecordPages, options);
  if (!count) return count.error();
  return FetchPages(exchange, address, *count, from, RecordPagePlan(options.unit_wait.count()),
                    [&](int32_t position, std::span<const uint8_t> unit, bool first) {
                      if (!first) return;
                      on_record(RecordFromUnit(address, position, unit.first<record_unit::kLength>()));
                    },
                    nullptr, options.on_page);
}

Result<FetchReport> Line::FetchCards(uint8_t address, int32_t from,
                                     const std::function<void(const CardEntry&)>& on_card,
                                     const FetchOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  const Result<int32_t> count = CountFor(exchange, address, command::kCardPages, options);
  if (!count) return count.error();
  const int16_t locale_class = impl_->LocaleClass();
  return FetchPages(exchange, address, *count, from, CardPagePlan(options.unit_wait.count()),
                    [&](int32_t position, std::span<const uint8_t> unit, bool first) {
                      if (!first) return;
                      on_card(CardFromUnit(position, unit.first<card_unit::kLength>(), locale_class));
                    },
                    nullptr, options.on_page);
}

Status Line::ClearFlag(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::ClearFlag(exchange, address, WaitOf(options));
}

Status Line::ClearRecords(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::ClearRecords(exchange, address, WaitOf(options));
}

Status Line::ClearCardList(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::ClearCardList(exchange, address, WaitOf(options));
}

Status Line::ChangeAddress(uint8_t address, uint8_t new_address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::ChangeAddress(exchange, address, new_address, WaitOf(options));
}

Status Line::SetStorageMode(uint8_t address, uint8_t mode, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::SetStorageMode(exchange, address, mode);
}

Result<uint8_t> Line::StorageMode(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::StorageMode(exchange, address, WaitOf(options));
}

Status Line::EnrolCard(uint8_t address, uint32_t card, const std::string& staff_digits,
                       const std::string& name, const CallOptions& options) {
  const Result<std::array<uint8_t, 4>> staff = StaffNumberBytes(staff_digits);
  if (!staff) return staff.error();
  const Result<Bytes> name_bytes = TerminalTextBytes(name, impl_->options.names);
  if (!name_bytes) return name_bytes.error();
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::EnrolCard(exchange, address, CardBytesOf(card), *staff, *name_bytes,
                             WaitOf(options));
}

Status Line::RemoveCard(uint8_t address, uint32_t card, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::RemoveCard(exchange, address, CardBytesOf(card), WaitOf(options));
}

Result<bool> Line::FindCard(uint8_t address, uint32_t card, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::FindCard(exchange, address, CardBytesOf(card), WaitOf(options));
}

Result<CardRead> Line::ReadCard(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  const auto reply = commands::ReadCard(exchange, address, WaitOf(options));
  if (!reply) return reply.error();
  return CardRead{CardNumberOf(std::span<const uint8_t, 8>(*reply).subspan<3, 4>()), *reply};
}

Status Line::StoreRecord(uint8_t address, uint32_t card, LocalDateTime time, uint8_t flag,
                         uint8_t keep, const CallOptions& options) {
  const Result<std::array<uint8_t, 7>> bcd = BcdFromTime(time);
  if (!bcd) return bcd.error();
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::StoreRecord(exchange, address, CardBytesOf(card),
                               std::span<const uint8_t, 7>(*bcd).first<6>(), flag, keep,
                               WaitOf(options));
}

Result<SystemParameters> Line::ReadParameters(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  const auto reply = commands::ReadParameters(exchange, address, WaitOf(options));
  if (!reply) return reply.error();
  SystemParameters parameters;
  parameters.reply = *reply;
  std::copy_n(reply->begin() + 3, parameters.block.size(), parameters.block.begin());
  return parameters;
}

Status Line::WriteParameters(uint8_t address, const ParameterSettings& settings,
                             const CallOptions& options) {
  const std::array<uint8_t, 6> fields{settings.relay_delay[0],
                                      settings.relay_delay[1],
                                      static_cast<uint8_t>(settings.punch_interval_minutes >> 8),
                                      static_cast<uint8_t>(settings.punch_interval_minutes),
                                      static_cast<uint8_t>(settings.mode_word >> 8),
                                      static_cast<uint8_t>(settings.mode_word)};
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::WriteParameters(exchange, address, fields, WaitOf(options));
}

Status Line::SetClock(uint8_t address, LocalDateTime time, const CallOptions& options) {
  const Result<std::array<uint8_t, 7>> bcd = BcdFromTime(time);
  if (!bcd) return bcd.error();
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::SetClock(exchange, address, *bcd, WaitOf(options));
}

Status Line::SetRingSchedule(uint8_t address, int schedule,
                             const std::vector<std::chrono::minutes>& times,
                             const CallOptions& options) {
  const Result<const CommandSpec*> spec = commands::RingScheduleSpec(schedule);
  if (!spec) return spec.error();
  if (times.size() > 10) {
    return Error(ErrorCode::kInvalidArgument,
                 std::to_string(times.size()) + " ring times (at most 10)");
  }
  std::array<uint8_t, 20> fields{};
  for (size_t i = 0; i < times.size(); ++i) {
    const auto minutes = times[i].count();
    if (minutes < 0 || minutes >= 24 * 60) {
      return Error(ErrorCode::kInvalidArgument,
                   "ring time of " + std::to_string(minutes) + " minutes (a time of day)");
    }
    fields[2 * i] = BcdByte(static_cast<int>(minutes / 60));
    fields[2 * i + 1] = BcdByte(static_cast<int>(minutes % 60));
  }
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::SetRingSchedule(exchange, address, **spec, fields, WaitOf(options));
}

Status Line::ShowMessage(uint8_t address, uint8_t seconds, const std::string& text,
                         const CallOptions& options) {
  if (Status serial = SerialOnly(*impl_, address, "a message"); !serial) return serial;
  const Result<Bytes> bytes = TerminalTextBytes(text, impl_->options.names);
  if (!bytes) return bytes.error();
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::ShowMessage(exchange, address, seconds, *bytes, WaitOf(options));
}

Status Line::PlaySound(uint8_t address, uint8_t number, const CallOptions& options) {
  if (Status serial = SerialOnly(*impl_, address, "a voice prompt"); !serial) return serial;
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::PlaySound(exchange, address, number, WaitOf(options));
}

Status Line::SetPassword(uint8_t address, const std::string& digits, const CallOptions& options) {
  if (digits.size() != 4 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return Error(ErrorCode::kInvalidArgument, "password \"" + digits + "\" (four digits)");
  }
  const std::array<uint8_t, 4> values{static_cast<uint8_t>(digits[0] - '0'),
                                      static_cast<uint8_t>(digits[1] - '0'),
                                      static_cast<uint8_t>(digits[2] - '0'),
                                      static_cast<uint8_t>(digits[3] - '0')};
  FrameExchange exchange = impl_->Exchange(options.stop);
  const auto held = commands::SetPassword(exchange, address, values, WaitOf(options));
  if (!held) return held.error();
  if (*held != values) {
    return TerminalError(ErrorCode::kBadReply, address, "the terminal kept another password");
  }
  return {};
}

Result<std::string> Line::Password(uint8_t address, const CallOptions& options) {
  FrameExchange exchange = impl_->Exchange(options.stop);
  const auto digits = commands::Password(exchange, address, WaitOf(options));
  if (!digits) return digits.error();
  std::string text;
  for (uint8_t digit : *digits) {
    if (digit > 9) return TerminalError(ErrorCode::kBadReply, address, "password digit above 9");
    text += static_cast<char>('0' + digit);
  }
  return text;
}

Status Line::SendPicture(uint8_t address, const StartupPicture& picture,
                         const CallOptions& options) {
  if (Status serial = SerialOnly(*impl_, address, "a start-up picture"); !serial) return serial;
  std::array<std::array<uint8_t, 16>, 32> blocks{};
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::copy_n(picture.begin() + static_cast<std::ptrdiff_t>(16 * i), 16, blocks[i].begin());
  }
  FrameExchange exchange = impl_->Exchange(options.stop);
  return commands::SendPicture(exchange, address, blocks);
}

}  // namespace tallygate
