// How the collector fails. An expected failure (a store that does not
// answer, a receiver or a folder that cannot take a delivery, bad
// configuration or input) is thrown as a Failure whose what() is its
// reason, in words a person can act on, and caught at the program's edges:
// a command's end (the message and its exit status), a thread's loop (logged,
// then tried again with backoff), a request's handler (its HTTP answer).
//
// Not failures: what a terminal answers, a poll's outcome (Collection), a
// receiver's answer (HttpAnswer) and how a delivery ended (Attempt) are data,
// kept and shown. link/'s Result and ErrorCode stay at the link: the poller
// turns a terminal's error into the poll's outcome. docs/conventions.md
// says why.
#ifndef TALLYGATE_COLLECTOR_BASE_FAILURE_H_
#define TALLYGATE_COLLECTOR_BASE_FAILURE_H_

#include <stdexcept>

namespace tallygate::collector {

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input refused: a value a person gave (a command's argument, a form's
// field, a file's cell, a configuration value) that is not what it must be.
// The message says which and what is wrong.
class InputError : public Failure {
 public:
  using Failure::Failure;
};

// A delivery that did not happen: a receiver that cannot be reached or a
// drop folder that cannot be written. Tried again with backoff.
class DeliveryError : public Failure {
 public:
  using Failure::Failure;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_FAILURE_H_
