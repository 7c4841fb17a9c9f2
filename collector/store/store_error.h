// How a store fails: every method of the store's roles (poll_ledger.h,
// punch_reader.h, card_book.h, sink_ledger.h) is one transaction that commits
// whole or changes nothing, and throws StoreError when the store cannot do
// it (the server is down, the disk is full, the file is locked),
// StoreTimeout when it does not answer in time.
#ifndef TALLYGATE_COLLECTOR_STORE_STORE_ERROR_H_
#define TALLYGATE_COLLECTOR_STORE_STORE_ERROR_H_

#include "collector/base/failure.h"

namespace tallygate::collector {

// A store failure. The message says what failed and why, and never holds a
// password (connection strings are shown without theirs).
class StoreError : public Failure {
 public:
  using Failure::Failure;
};

// A store that did not answer in time: a server that does not reply (stopped,
// or cut off by the network) or a statement that ran past the store's limit
// (docs/collector.md, "A store that does not answer").
class StoreTimeout : public StoreError {
 public:
  using StoreError::StoreError;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_STORE_ERROR_H_
