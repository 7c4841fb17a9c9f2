// What the soak expects of one call, given the fault it injected into the
// simulated terminal's reply.
//
// A fault spoils only the reply; the command frame always reaches the
// terminal, which carries the command out either way. The library sees:
//
//   drop, short       no whole reply: the call fails after its full wait
//   wrong-address,    a reply that fails the reply test: the call fails at
//   bad-check         once
//   wrong-echo        fails where the command tests the echo, else passes
//   extra             garbage after a good reply: the call passes, and the
//                     next exchange discards the garbage
//   delay             passes when the reply comes within the wait; otherwise
//                     fails, and the soak lets the late reply land before
//                     the next call so that it is discarded rather than
//                     taken for that call's reply (nothing in a reply tells
//                     which command it answers)
//   close             TCP: the terminal closes the connection, the call
//                     fails at once and the soak connects again; on the
//                     serial bus it is silence, like drop
#ifndef TALLYGATE_SOAK_EXPECTATION_H_
#define TALLYGATE_SOAK_EXPECTATION_H_

#include <cstdint>
#include <random>
#include <string>

namespace tallygate::soak {

enum class Fault { kNone, kDrop, kWrongAddress, kBadCheck, kWrongEcho, kExtra, kShort, kDelay, kClose };
inline constexpr int kFaultKinds = 9;  // kNone included

const char* FaultName(Fault fault);

struct InjectedFault {
  Fault kind = Fault::kNone;
  int value = 0;  // bytes for extra and short, milliseconds for delay

  // The KIND field of the simulator's fault rule: "drop", "short=3", ...
  std::string RuleKind() const;
};

// How a request-and-reply command treats its reply.
struct CommandTraits {
  const char* name;     // the simulator's name for the command
  double wait_seconds;  // the reply wait
  int reply_length;
  bool checks_echo;     // whether a wrong byte 2 fails the call
};

struct Expectation {
  bool succeeds = true;
  // The call must return within this (the soak adds its slack).
  double max_seconds = 0;
  // How long to wait after the call before the next one, so that a late
  // reply has landed.
  double settle_seconds = 0;
  // TCP: the terminal closed the connection; the soak connects again.
  bool reconnect = false;
};

Expectation Expect(const CommandTraits& command, const InjectedFault& fault, bool tcp);

// A fault of a kind drawn evenly from every kind the simulator knows, with
// a value that fits `command` (for delays: half of them within the wait,
// half well beyond it).
InjectedFault DrawFault(std::mt19937& random, const CommandTraits& command);

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_EXPECTATION_H_
