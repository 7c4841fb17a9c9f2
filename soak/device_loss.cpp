#include "soak/device_loss.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "sim/client/sim_process.h"
#include "sim/model/synthetic_data.h"
#include "soak/collection_audit.h"
#include "soak/probe.h"
#include "tallygate/connect_v70.h"
#include "tests/support/pty_pair.h"

namespace tallygate::soak {
namespace {

using Clock = std::chrono::steady_clock;
using testing::SimProcess;

constexpr int16_t kAddress = 1;
constexpr int32_t kSleepDate = 1;
constexpr const char* kComVariable = "TALLYGATE_COM1";

// Sets TALLYGATE_COM1 for its lifetime.
class ComPath {
 public:
  explicit ComPath(const std::string& path) {
    if (const char* old = std::getenv(kComVariable)) old_ = old;
    Set(path);
  }
  ~ComPath() {
    if (old_) {
      setenv(kComVariable, old_->c_str(), 1);
    } else {
      unsetenv(kComVariable);
    }
  }
  ComPath(const ComPath&) = delete;
  ComPath& operator=(const ComPath&) = delete;
  void Set(const std::string& path) { setenv(kComVariable, path.c_str(), 1); }

 private:
  std::optional<std::string> old_;
};

std::vector<std::string> HeldLines(int records) {
  return HeldRecordLines(sim::SyntheticRecords(static_cast<size_t>(records), 1));
}

class Steps {
 public:
  Steps(const DeviceLossOptions& options, DeviceLossFigures& figures) : options_(options), figures_(figures) {}

  void Call(const std::string& what, double bound, const std::function<bool(std::string&)>& call) {
    TimedCall record{"serial device lost", what, 0, bound, true, {}};
    const auto start = Clock::now();
    record.right = call(record.outcome);
    record.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (record.seconds > bound + options_.slack_seconds || !record.right) {
      ++figures_.violations;
      figures_.findings.push_back(what + ": " + record.outcome + " in " + std::to_string(record.seconds) +
                                  " s (wait " + std::to_string(bound) + " s)" +
                                  (record.right ? "" : ": wrong outcome"));
    }
    figures_.calls.push_back(std::move(record));
  }

  void Expect(const std::string& what, double bound, bool wanted, const std::function<bool()>& call) {
    Call(what, bound, [&](std::string& o) {
      const bool result = call();
      o = result ? "true" : "false";
      return result == wanted;
    });
  }

 private:
  const DeviceLossOptions& options_;
  DeviceLossFigures& figures_;
};

// The simulator killed while it streams the third page of a collection.
void LoseSimulatorMidCollection(const DeviceLossOptions& options, DeviceLossFigures& figures, Steps& steps) {
  auto doomed = std::make_unique<SimProcess>(std::vector<std::string>{
      "--pty", "--address", "1", "--records", std::to_string(options.records)});
  ComPath com(doomed->pty_path());
  auto object = std::make_unique<Connect_v70>();
  object->Mode(0);
  steps.Expect("SetPort", 2.0, true, [&] { return object->SetPort(1); });

  // The count, then pages 1 and 2: the simulator goes while page 2 streams.
  std::thread killer([&doomed] {
    const std::regex record_frame("cmd=0xBB");
    for (int i = 0; i < 3; ++i) {
      if (!doomed->WaitForLine(record_frame, std::chrono::seconds(30))) break;
    }
    kill(doomed->pid(), SIGKILL);
  });
  const std::filesystem::path file = options.folder / "lost.txt";
  std::filesystem::remove(file);
  const std::vector<std::string> held = HeldLines(options.records);
  steps.Call("GatherData while the device goes", CollectionBound(options.records, 5, kSleepDate),
             [&](std::string& o) {
               CollectionOutcome outcome;
               outcome.result = object->GatherData(kAddress, options.folder.string(), "lost.txt",
                                                   outcome.description, outcome.back_record_sum, kSleepDate);
               if (std::filesystem::exists(file)) outcome.lines = CollectedFileLines(file);
               const CollectionAudit audit = AuditCollection(held, outcome);
               figures.records_before_loss = audit.exact;
               o = std::string(outcome.result ? "true" : "false") + " [" + outcome.description + "] " +
                   audit.Describe();
               return !audit.Violated() && !audit.complete;
             });
  killer.join();
  doomed->Stop();
  steps.Expect("ClearFlag on the lost device", 1.5, false, [&] { return object->ClearFlag(kAddress); });
  steps.Expect("SetPort on the lost device", 2.0, false, [&] { return object->SetPort(1); });

  // A new device under the same COM port number.
  SimProcess replacement({"--pty", "--address", "1", "--records", "300"});
  com.Set(replacement.pty_path());
  steps.Expect("SetPort on a new device", 2.0, true, [&] { return object->SetPort(1); });
  steps.Expect("ClearFlag on the new device", 1.5, true, [&] { return object->ClearFlag(kAddress); });
  steps.Call("GatherData on the new device", 3.0 + 2 * 5 * (0.03 + 2.0 * kSleepDate), [&](std::string& o) {
    CollectionOutcome outcome;
    outcome.result = object->GatherData(kAddress, options.folder.string(), "lost.txt", outcome.description,
                                        outcome.back_record_sum, kSleepDate);
    outcome.lines = CollectedFileLines(file);
    const CollectionAudit audit = AuditCollection(HeldLines(300), outcome);
    o = audit.Describe();
    return audit.complete && !audit.Violated() && audit.exact == 300;
  });
  object->DestoryPort();
}

// A bare pseudo-terminal hung up while a command waits for its answer.
void HangUpDuringReplyWait(DeviceLossFigures&, Steps& steps) {
  auto line = std::make_unique<testing::PtyPair>();
  ComPath com(line->slave_path());
  auto object = std::make_unique<Connect_v70>();
  object->Mode(0);
  steps.Expect("SetPort", 2.0, true, [&] { return object->SetPort(1); });
  std::thread hang_up([&line] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    line->CloseMaster();
  });
  // The wait ends when the line hangs up, not after its 10 seconds.
  steps.Expect("ClearRecord while the line hangs up", 1.0, false, [&] { return object->ClearRecord(kAddress); });
  hang_up.join();
  steps.Expect("GetStorageModel on the hung-up line", 0.5, false,
               [&] { return object->GetStorageModel(kAddress) != -1; });

  testing::PtyPair fresh;
  com.Set(fresh.slave_path());
  steps.Expect("SetPort on a new line", 2.0, true, [&] { return object->SetPort(1); });
  std::thread answer([&fresh] {
    // The terminal's side: the address byte and ClearFlag's frame, then the
    // reply 01 00 02 03.
    if (fresh.Read(4, std::chrono::seconds(5)).size() == 4) fresh.Write({0x01, 0x00, 0x02, 0x03});
  });
  steps.Expect("ClearFlag on the new line", 1.5, true, [&] { return object->ClearFlag(kAddress); });
  answer.join();
  object->DestoryPort();
}

}  // namespace

DeviceLossFigures RunDeviceLoss(const DeviceLossOptions& options) {
  DeviceLossFigures figures;
  figures.descriptors_before = OpenDescriptors();
  Steps steps(options, figures);
  LoseSimulatorMidCollection(options, figures, steps);
  HangUpDuringReplyWait(figures, steps);
  figures.descriptors_after = OpenDescriptors();
  return figures;
}

}  // namespace tallygate::soak
