// The delivery's side of the store (store.h).
#ifndef TALLYGATE_COLLECTOR_STORE_SINK_LEDGER_H_
#define TALLYGATE_COLLECTOR_STORE_SINK_LEDGER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/base/sink.h"
#include "collector/store/punch_reader.h"
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

  // Keeps punches the sink's receiver refused, each with its reason; a
  // punch refused again gets its new reason and is no longer asked again.
  virtual void KeepRefusals(const std::string& sink, const std::vector<RefusedPunch>& refused) = 0;
  // Forgets refusals of punches since placed.
  virtual void ForgetRefusals(const std::string& sink, const std::vector<int64_t>& punches) = 0;
  // The punches the sink refused, oldest first, up to `limit`; with
  // `again_only`, only those asked to be sent again.
  virtual std::vector<std::pair<PunchRow, RefusedPunch>> Refusals(const std::string& sink,
                                                                  bool again_only,
                                                                  int limit) = 0;
  // How many punches each sink has refused, by sink.
  virtual std::vector<std::pair<std::string, int64_t>> RefusalCounts() = 0;
  // Asks the sink to send its refused punches again (those of `card`
  // only, when given); returns how many.
  virtual int64_t AskAgain(const std::string& sink, std::optional<uint32_t> card) = 0;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SINK_LEDGER_H_
