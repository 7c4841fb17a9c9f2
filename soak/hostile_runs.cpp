#include "soak/hostile_runs.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "soak/collection_audit.h"
#include "soak/probe.h"
#include "tallygate/connect_v70.h"

namespace tallygate::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int16_t kAddress = 1;
constexpr int32_t kSleepDate = 1;
constexpr int kRecords = 300;          // two pages
constexpr int kBreakRecords = 600;     // three pages, broken off in the second
constexpr int kBreakAfterUnits = 300;
constexpr int kHalfUnitsPerPage = 10;  // whole units before the half one

class Scenario {
 public:
  Scenario(const HostileOptions& options, HostileFigures& figures, PeerKind kind)
      : options_(options), figures_(figures), name_(PeerName(kind)) {}

  // Times `call`, which returns whether its outcome is right and describes it.
  void Call(const std::string& what, double bound, const std::function<bool(std::string&)>& call) {
    TimedCall record{name_, what, 0, bound, true, {}};
    const auto start = Clock::now();
    record.right = call(record.outcome);
    record.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures_.worst_margin_seconds = std::max(figures_.worst_margin_seconds, record.seconds - bound);
    const bool late = record.seconds > bound + options_.slack_seconds;
    if (late || !record.right) {
      ++figures_.violations;
      figures_.findings.push_back(name_ + ": " + what + " " + record.outcome + " in " +
                                  std::to_string(record.seconds) + " s (wait " + std::to_string(bound) + " s)" +
                                  (record.right ? "" : ": wrong outcome"));
    }
    figures_.calls.push_back(std::move(record));
  }

  void Connect(Connect_v70& object, uint16_t port) {
    Call("Connect_Net", 2.0, [&](std::string& outcome) {
      const bool ok = object.Connect_Net("127.0.0.1", port);
      outcome = ok ? "connected" : "not connected";
      return ok;
    });
  }

  void Disconnect(Connect_v70& object) {
    Call("Disconnect_Net", 2.0, [&](std::string& outcome) {
      const bool ok = object.Disconnect_Net();
      outcome = ok ? "closed" : "not closed";
      return ok;
    });
  }

  // Every request-and-reply command the TCP transport carries must fail;
  // but a peer that answers the record count whole (`count` records) must
  // have it read.
  void CommandsFail(Connect_v70& object, int count = -1) {
    Call("ClearFlag", 1.5, [&](std::string& o) { return Outcome(o, object.ClearFlag(kAddress)); });
    Call("GetStorageModel", 1.5, [&](std::string& o) {
      const int16_t mode = object.GetStorageModel(kAddress);
      o = std::to_string(mode);
      return mode == -1;
    });
    Call("GatherRecordSum", 3.0, [&](std::string& o) {
      int32_t read = 0;
      std::string description;
      const bool result = object.GatherRecordSum(kAddress, read, description);
      o = (result ? "true, " : "false, ") + std::to_string(read);
      return count < 0 ? !result : result && read == count;
    });
    Call("ReadSystemParameter", 2.0, [&](std::string& o) {
      std::string text;
      return Outcome(o, object.ReadSystemParameter(kAddress, text));
    });
    Call("FindCard", 3.0, [&](std::string& o) {
      bool listed = false;
      return Outcome(o, object.FindCard(kAddress, "1234567", listed));
    });
    Call("GetMachinePassword", 3.0, [&](std::string& o) {
      const int16_t password = object.GetMachinePassword(kAddress);
      o = std::to_string(password);
      return password <= 0;
    });
  }

  // A collection that must end with exactly `expected` (positions where
  // nothing may stand are empty strings) and, when anything is missing, say
  // so.
  void Collect(Connect_v70& object, const std::vector<std::string>& held, double bound,
               const std::function<bool(const CollectionAudit&, bool)>& right) {
    const std::filesystem::path file = options_.folder / "hostile.txt";
    std::filesystem::remove(file);
    Call("GatherData", bound, [&](std::string& o) {
      CollectionOutcome outcome;
      outcome.result = object.GatherData(kAddress, options_.folder.string(), file.filename().string(),
                                         outcome.description, outcome.back_record_sum, kSleepDate);
      if (std::filesystem::exists(file)) outcome.lines = CollectedFileLines(file);
      const CollectionAudit audit = AuditCollection(held, outcome);
      o = std::string(outcome.result ? "true" : "false") + " [" + outcome.description + "] " + audit.Describe();
      return !audit.Violated() && right(audit, outcome.result);
    });
  }

 private:
  static bool Outcome(std::string& text, bool result) {
    text = result ? "true" : "false";
    return !result;
  }

  const HostileOptions& options_;
  HostileFigures& figures_;
  std::string name_;
};

void Sample(HostileFigures& figures) {
  figures.resident_kib_most = std::max(figures.resident_kib_most, ResidentKiB());
}

void RunSilent(const HostileOptions& options, HostileFigures& figures, Connect_v70& object) {
  HostilePeer peer({PeerKind::kSilent});
  Scenario s(options, figures, PeerKind::kSilent);
  s.Connect(object, peer.port());
  s.CommandsFail(object);
  s.Collect(object, {}, 3.0, [](const CollectionAudit&, bool result) { return !result; });
  s.Call("CheckData", 5.0, [&](std::string& o) {
    std::string description;
    const int16_t code = object.CheckData(kAddress, options.folder.string(), "hostile.txt", description);
    o = std::to_string(code);
    return code == -1;
  });
  s.Disconnect(object);
}

void RunHalfReply(const HostileOptions& options, HostileFigures& figures, Connect_v70& object) {
  HostilePeer peer({PeerKind::kHalfReply, 0, kRecords});
  Scenario s(options, figures, PeerKind::kHalfReply);
  s.Connect(object, peer.port());
  s.CommandsFail(object, kRecords);
  // Each page gives its first ten records, then stalls in the eleventh.
  s.Collect(object, peer.RecordLines(), CollectionBound(kRecords, 5, kSleepDate),
            [](const CollectionAudit& audit, bool result) {
              return result && audit.described && audit.exact == 2 * kHalfUnitsPerPage;
            });
  s.Call("CheckData", 5.0, [&](std::string& o) {
    std::string description;
    const int16_t code = object.CheckData(kAddress, options.folder.string(), "hostile.txt", description);
    o = std::to_string(code) + " " + description;
    return code == 2;  // the empty line after the tenth record
  });
  s.Disconnect(object);
}

void RunFlood(const HostileOptions& options, HostileFigures& figures, Connect_v70& object) {
  HostilePeer peer({PeerKind::kFlood, options.flood_bytes});
  Scenario s(options, figures, PeerKind::kFlood);
  s.Connect(object, peer.port());
  const auto start = Clock::now();
  const auto limit = start + options.flood_limit;
  int round = 0;
  while (!peer.flood_done() && Clock::now() < limit) {
    switch (round++ % 3) {
      case 0: s.CommandsFail(object); break;
      case 1: s.Collect(object, {}, 3.0, [](const CollectionAudit&, bool result) { return !result; }); break;
      default:
        s.Call("GatherSendCardData", 3.0, [&](std::string& o) {
          std::string description;
          int32_t written = 0;
          const bool result = object.GatherSendCardData(kAddress, options.folder.string(), "flood-cards.txt",
                                                        description, written, kSleepDate);
          o = result ? "true" : "false";
          return !result;
        });
    }
    Sample(figures);
  }
  figures.flood_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  figures.flood_bytes_sent = peer.bytes_sent();
  figures.flood_calls = round;
  if (!peer.flood_done()) {
    ++figures.violations;
    figures.findings.push_back("flood: only " + std::to_string(peer.bytes_sent()) + " bytes went out in " +
                               std::to_string(figures.flood_seconds) + " s");
  }
  s.Disconnect(object);
}

void RunBroken(const HostileOptions& options, HostileFigures& figures, Connect_v70& object, PeerKind kind) {
  HostilePeer peer({kind, 0, kBreakRecords, kBreakAfterUnits});
  Scenario s(options, figures, kind);
  s.Connect(object, peer.port());
  // Records up to the break arrive whole; the rest are missing, and said to be.
  s.Collect(object, peer.RecordLines(), CollectionBound(kBreakRecords, 5, kSleepDate),
            [](const CollectionAudit& audit, bool result) {
              return result && audit.described && audit.exact == kBreakAfterUnits;
            });
  s.Call("tcpState", 0.1, [&](std::string& o) {
    const int16_t state = object.tcpState();
    o = std::to_string(state);
    return state == (kind == PeerKind::kResetMidway ? 9 : 8);
  });
  s.Call("ClearFlag after the break", 1.5, [&](std::string& o) {
    const bool result = object.ClearFlag(kAddress);
    o = result ? "true" : "false";
    return !result;
  });
  s.Disconnect(object);
  // The next connection works as if nothing had happened.
  s.Connect(object, peer.port());
  s.Call("ClearFlag on a new connection", 1.5, [&](std::string& o) {
    const bool result = object.ClearFlag(kAddress);
    o = result ? "true" : "false";
    return result;
  });
  s.Disconnect(object);
}

}  // namespace

HostileFigures RunHostilePeers(const HostileOptions& options) {
  HostileFigures figures;
  figures.descriptors_before = OpenDescriptors();
  figures.resident_kib_before = ResidentKiB();
  {
    auto object = std::make_unique<Connect_v70>();
    object->Mode(1);
    for (const PeerKind kind : options.peers) {
      switch (kind) {
        case PeerKind::kFlood: RunFlood(options, figures, *object); break;
        case PeerKind::kHalfReply: RunHalfReply(options, figures, *object); break;
        case PeerKind::kCloseMidway:
        case PeerKind::kResetMidway: RunBroken(options, figures, *object, kind); break;
        case PeerKind::kSilent: RunSilent(options, figures, *object); break;
      }
      Sample(figures);
    }
    object->Disconnect_Net();
  }
  figures.resident_kib_after = ResidentKiB();
  figures.descriptors_after = OpenDescriptors();
  return figures;
}

}  // namespace tallygate::soak
