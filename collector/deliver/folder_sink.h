// A sink that writes a file into a drop folder at the end of each period
// (`every`), holding every punch stored since the last file: CSV or JSON
// lines, named "NAME-YYYYMMDD-HHMM.csv" after the period's start in the
// host's time ("NAME-YYYYMMDD.csv" for a day). No file for a period
// without punches.
//
// A file appears whole or not at all, and is never changed once there: it
// is written into the folder's ".tallygate-tmp" folder, synced, marked
// written in the store, then renamed into place (never over another file).
// Whoever takes the files may write in the folder, so nothing found there
// is written through: the folders are opened without following links and
// every step goes through their descriptors; a temporary folder that is a
// link, not a folder or another user's is refused, and a file name is
// opened only when new.
// After a crash the store tells which step was reached: a file not marked
// written is written again from the start; one marked written is renamed
// if it is still in the temporary folder. A punch is in exactly one file:
// one stored after a file's punches were read goes into the next file.
#ifndef TALLYGATE_COLLECTOR_DELIVER_FOLDER_SINK_H_
#define TALLYGATE_COLLECTOR_DELIVER_FOLDER_SINK_H_

#include <chrono>
#include <string>

#include "collector/deliver/sink_worker.h"

namespace tallygate::collector {

// The batch_id of a folder's batch whose file is whole in the temporary
// folder.
inline constexpr std::string_view kFileWritten = "written";

// The file name for the period of length `every` that begins at
// `start_local` (seconds since 1970 in the host's local time).
std::string PeriodFileName(const std::string& sink, std::chrono::seconds start_local,
                           std::chrono::seconds every, bool json_lines);

class FolderSink final : public SinkWorker {
 public:
  FolderSink(DeliverConfig config, std::string database, PunchSignal& stored);

 private:
  std::optional<int64_t> NextBatch(PunchReader& punches, int64_t position) override;
  std::chrono::steady_clock::time_point Wake() override;
  void Begin(SinkState& state) override;
  Attempt Try(PunchReader& punches, SinkLedger& sinks, SinkState& state) override;

  std::chrono::system_clock::time_point next_end_;  // of the current period
  std::chrono::seconds ended_start_{};              // the last period ended, local
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_FOLDER_SINK_H_
