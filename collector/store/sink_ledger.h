// The delivery's side of the store (store.h).
#ifndef TALLYGATE_COLLECTOR_STORE_SINK_LEDGER_H_
#define TALLYGATE_COLLECTOR_STORE_SINK_LEDGER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/base/sink.h"
#include "collector/store/store_error.h"

namespace tallygate::collector {

// Where each sink (sink.h) has got, kept by the collector that delivers
// to it.
class SinkLedger {
 public:
  virtual ~SinkLedger() = default;

  // Makes this process the one that delivers to `sink` for as long as the
  // store is open; false when another collector on the database does.
  virtual bool ClaimSink(const std::string& sink) = 0;

  // The sink's state; absent for a sink never saved.
  virtual std::optional<SinkState> LoadSink(const std::string& sink) = 0;

  // Keeps `state` as its sink's; only while this process holds the sink's
  // claim (checked as it saves): without it nothing is saved, and it
  // throws StoreError saying the claim was lost.
  virtual void SaveSink(const SinkState& state) = 0;

  // Every sink saved, by name.
  virtual std::vector<SinkState> Sinks() = 0;

  // A stopped sink goes on with the batch it was refused. False when the
  // sink is unknown or was not stopped.
  virtual bool ResumeSink(const std::string& sink) = 0;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SINK_LEDGER_H_
