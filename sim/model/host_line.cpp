#include "sim/model/host_line.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "sim/model/fault_effects.h"
#include "sim/model/terminal_commands.h"

namespace tallygate::sim {
namespace {

// Long replies (record pages) are shown by their start.
constexpr size_t kShownBytes = 24;

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char pair[4];
  for (size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += pair;
  }
  if (bytes.size() > kShownBytes) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

std::string Describe(const ReceivedFrame& frame) {
  char head[32];
  std::snprintf(head, sizeof head, "addr=%u cmd=0x%02X ", frame.address, frame.command());
  return head + std::string(CommandName(frame.command()));
}

std::string Outcome(const Transmission& sent, const std::vector<FaultAction>& faults,
                    const Reply& reply, bool close_ignored) {
  std::string text;
  const Bytes bytes = sent.Joined();
  if (!bytes.empty()) {
    text = "reply " + Hex(bytes);
    if (reply.units.size() > 1) text += " in " + std::to_string(reply.units.size()) + " units";
  } else {
    text = "no reply";
    if (reply.silent() && !reply.note.empty()) text += " (" + reply.note + ")";
  }
  if (sent.TotalPause().count() > 0) text += " after " + std::to_string(sent.TotalPause().count()) + " ms";
  if (reply.hold.count() > 0 && !bytes.empty()) text += " unless the host speaks first";
  if (sent.close) text += close_ignored ? ", close ignored on a serial line" : ", then close";
  if (!reply.effect.empty()) text += "; " + reply.effect;
  for (const FaultAction& fault : faults) text += " [fault " + fault.rule + "]";
  return text;
}

}  // namespace

HostLine::HostLine(Bus& bus, FaultPlan& faults, HostLineOptions options, Log log)
    : bus_(bus),
      faults_(faults),
      options_(options),
      log_(std::move(log)),
      inbound_(options.char_time),
      outbound_(options.char_time),
      reader_(options.silence) {}

void HostLine::WithdrawHeld() {
  if (const size_t withdrawn = outbound_.Withdraw(); withdrawn > 0) {
    log_("reply withdrawn: " + std::to_string(withdrawn) + " bytes, the host spoke first");
  }
}

void HostLine::Receive(std::span<const uint8_t> bytes, TimePoint now) {
  if (!bytes.empty()) WithdrawHeld();
  inbound_.Push(bytes, now);
  Advance(now);
}

void HostLine::Advance(TimePoint now) {
  const WirePacer::Released arrived = inbound_.Release(now);
  reader_.Feed(arrived.bytes, now);
  reader_.Expire(now);
  while (std::optional<ReaderEvent> event = reader_.Next()) {
    switch (event->kind) {
      case ReaderEvent::Kind::kFrame:
        Handle(event->frame, now);
        break;
      case ReaderEvent::Kind::kBadCheck:
        log_("rx bad-check " + Describe(event->frame) + " " + Hex(event->frame.wire) + " -> ignored");
        break;
      case ReaderEvent::Kind::kDiscarded:
        log_("rx discarded " + std::to_string(event->discarded) + " bytes");
        break;
    }
  }
}

void HostLine::Handle(const ReceivedFrame& frame, TimePoint now) {
  // A frame that came in the same read as the one before it is the host
  // speaking too.
  WithdrawHeld();
  std::vector<Bus::Answer> answers = bus_.Deliver(frame);
  if (answers.empty()) {
    log_("rx " + Describe(frame) + " -> ignored (no terminal at this address)");
    return;
  }
  // A frame counts once against the fault rules, however many terminals
  // answer it.
  const std::vector<FaultAction> faults = faults_.Select(frame);
  for (Bus::Answer& answer : answers) {
    Transmission sent = ApplyFaults(answer.reply, faults);
    const bool held = answer.reply.hold.count() > 0;
    if (held && !sent.segments.empty()) sent.segments.front().pause += answer.reply.hold;
    for (const Segment& segment : sent.segments) {
      outbound_.Push(segment.bytes, now, segment.pause, held);
    }
    const bool close_ignored = sent.close && !options_.can_close;
    if (sent.close && options_.can_close) outbound_.PushClose(now);
    log_("rx " + Describe(frame) + " -> " + Outcome(sent, faults, answer.reply, close_ignored));
  }
}

WirePacer::Released HostLine::TakeOutput(TimePoint now) { return outbound_.Release(now); }

std::optional<TimePoint> HostLine::next_deadline() const {
  std::optional<TimePoint> earliest;
  for (const std::optional<TimePoint>& due :
       {inbound_.next_release(), outbound_.next_release(), reader_.deadline()}) {
    if (due && (!earliest || *due < *earliest)) earliest = due;
  }
  return earliest;
}

void HostLine::Reset() {
  inbound_.Clear();
  outbound_.Clear();
  reader_.Reset();
}

}  // namespace tallygate::sim
