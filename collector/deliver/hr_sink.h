// A sink into an HR system: each punch of a batch placed on its own by the
// kind's PunchPlacer (ERPNext, Odoo), so that one punch the HR system
// cannot place (an employee missing or gone) is kept as refused with the
// system's answer while the others go on. Refused punches are sent again
// when `deliver retry NAME --refused` asks for it. A failure of every punch
// (authentication) stops the sink as a webhook's refusal does; a passing
// one keeps the punches placed so far and tries the rest again.
#ifndef TALLYGATE_COLLECTOR_DELIVER_HR_SINK_H_
#define TALLYGATE_COLLECTOR_DELIVER_HR_SINK_H_

#include <memory>
#include <string>

#include "collector/deliver/batch_rows.h"
#include "collector/deliver/punch_placer.h"
#include "collector/deliver/sink_worker.h"

namespace tallygate::collector {

class HrSink final : public SinkWorker {
 public:
  HrSink(DeliverConfig config, std::string database, PunchSignal& stored,
         std::unique_ptr<PunchPlacer> placer);

 private:
  std::optional<int64_t> NextBatch(PunchReader& punches, int64_t position) override;
  std::chrono::steady_clock::time_point Wake() override;
  void Begin(SinkState&) override {}
  Attempt Try(PunchReader& punches, SinkLedger& sinks, SinkState& state) override;
  std::optional<Attempt> Upkeep(PunchReader& punches, SinkLedger& sinks,
                                SinkState& state) override;
  // The refused punches asked to be sent again.
  std::optional<Attempt> PlaceAgain(SinkLedger& sinks);
  void LogRefusals(const std::vector<RefusedPunch>& refused) const;

  std::unique_ptr<PunchPlacer> placer_;
  BatchRows rows_;
  // The last batch placed was the last there was: the placer's upkeep
  // (the Shift Type sync) follows at once, not at its next due time.
  bool caught_up_ = false;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_HR_SINK_H_
