// Frame trace: every block of bytes a line sends or receives, as it happens.
//
// A line hands each block to its trace callback (LineOptions::trace) with its
// direction and a monotonic time stamp. With TALLYGATE_TRACE=1 in the
// environment every line of the process, the Connect_v70 object's included,
// also writes each block to standard error as one line: ">" for sent or "<"
// for received, a blank, then the bytes as two-digit hexadecimal separated by
// single blanks:
//
//   > 01
//   > 03 02 00
//   < 01 00 02 03
#ifndef TALLYGATE_TRACE_H_
#define TALLYGATE_TRACE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tallygate {

enum class TraceDirection { kSent, kReceived };

using TraceCallback = std::function<void(TraceDirection direction, std::span<const uint8_t> bytes,
                                         std::chrono::steady_clock::time_point when)>;

// The trace line of one block, without a line end: "> 03 02 00".
std::string TraceLine(TraceDirection direction, std::span<const uint8_t> bytes);

}  // namespace tallygate

#endif  // TALLYGATE_TRACE_H_
