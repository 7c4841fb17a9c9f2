#include "soak/expectation.h"

namespace tallygate::soak {
namespace {

// A reply held back this far past the wait lands well before the next call
// once the soak has settled for kSettleMargin after the late reply.
constexpr int kLateByMs = 700;
constexpr double kSettleMargin = 0.3;

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kNone: return "none";
    case Fault::kDrop: return "drop";
    case Fault::kWrongAddress: return "wrong-address";
    case Fault::kBadCheck: return "bad-check";
    case Fault::kWrongEcho: return "wrong-echo";
    case Fault::kExtra: return "extra";
    case Fault::kShort: return "short";
    case Fault::kDelay: return "delay";
    case Fault::kClose: return "close";
  }
  return "?";
}

std::string InjectedFault::RuleKind() const {
  switch (kind) {
    case Fault::kExtra:
    case Fault::kShort:
    case Fault::kDelay: return std::string(FaultName(kind)) + "=" + std::to_string(value);
    default: return FaultName(kind);
  }
}

Expectation Expect(const CommandTraits& command, const InjectedFault& fault, bool tcp) {
  Expectation e;
  e.max_seconds = command.wait_seconds;
  switch (fault.kind) {
    case Fault::kNone:
    case Fault::kExtra: break;
    case Fault::kDrop:
    case Fault::kWrongAddress:
    case Fault::kBadCheck:
    case Fault::kShort: e.succeeds = false; break;
    case Fault::kWrongEcho: e.succeeds = !command.checks_echo; break;
    case Fault::kDelay: {
      const double delay = fault.value / 1000.0;
      e.succeeds = delay < command.wait_seconds;
      if (!e.succeeds) e.settle_seconds = delay - command.wait_seconds + kSettleMargin;
      break;
    }
    case Fault::kClose:
      e.succeeds = false;
      e.reconnect = tcp;
      break;
  }
  return e;
}

InjectedFault DrawFault(std::mt19937& random, const CommandTraits& command) {
  std::uniform_int_distribution<int> kinds(1, kFaultKinds - 1);
  InjectedFault fault{static_cast<Fault>(kinds(random)), 0};
  const int wait_ms = static_cast<int>(command.wait_seconds * 1000);
  switch (fault.kind) {
    case Fault::kExtra: fault.value = std::uniform_int_distribution<int>(1, 40)(random); break;
    case Fault::kShort:
      fault.value = std::uniform_int_distribution<int>(0, command.reply_length - 1)(random);
      break;
    case Fault::kDelay:
      fault.value = std::bernoulli_distribution(0.5)(random)
                        ? std::uniform_int_distribution<int>(20, wait_ms / 2)(random)
                        : wait_ms + kLateByMs;
      break;
    default: break;
  }
  return fault;
}

}  // namespace tallygate::soak
