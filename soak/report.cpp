#include "soak/report.h"

#include <cstdio>
#include <functional>
#include <type_traits>

#include "soak/probe.h"

namespace tallygate::soak {
namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string MiB(int64_t kib) { return Fixed(static_cast<double>(kib) / 1024.0, 1); }

// One table row: a label, one cell per transport, and their total.
template <typename Value>
std::string Row(const std::string& label, const std::vector<SoakFigures>& all,
                const std::function<Value(const SoakFigures&)>& value, bool total = true) {
  std::string row = "| " + label + " |";
  Value sum{};
  for (const SoakFigures& f : all) {
    const Value v = value(f);
    sum += v;
    if constexpr (std::is_floating_point_v<Value>) {
      row += ' ';
      row += Fixed(v, 2);
    } else {
      row += ' ';
      row += std::to_string(v);
    }
    row += " |";
  }
  if (total) {
    if constexpr (std::is_floating_point_v<Value>) {
      row += " |";
    } else {
      row += ' ';
      row += std::to_string(sum);
      row += " |";
    }
  } else {
    row += " |";
  }
  return row + "\n";
}

std::string TextRow(const std::string& label, const std::vector<SoakFigures>& all,
                    const std::function<std::string(const SoakFigures&)>& value) {
  std::string row = "| " + label + " |";
  for (const SoakFigures& f : all) {
    row += ' ';
    row += value(f);
    row += " |";
  }
  return row + " |\n";
}

std::string Findings(const std::vector<std::string>& findings) {
  if (findings.empty()) return {};
  std::string text = "\nFindings:\n\n";
  for (const std::string& f : findings) text += "- " + f + "\n";
  return text;
}

}  // namespace

std::string SoakReport(const std::vector<SoakFigures>& all, double fault_rate) {
  using F = const SoakFigures&;
  std::string text = "### Fault soak\n\n";
  text += "Fault rate " + Fixed(fault_rate * 100, 1) + " % of calls and of collection pages" +
          (UnderAddressSanitizer() ? ", built with AddressSanitizer, LeakSanitizer and UBSan" : "") + ".\n\n";
  text += "| |";
  for (const SoakFigures& f : all) text += " " + f.transport + " |";
  text += " total |\n|---|";
  for (size_t i = 0; i < all.size(); ++i) text += "---|";
  text += "---|\n";
  text += Row<int>("exchanges (frames sent, a collection counting its pages)", all, [](F f) { return f.exchanges; });
  text += Row<int>("calls", all, [](F f) { return f.calls; });
  text += Row<int>("calls with an injected fault", all, [](F f) { return f.faulted_calls; });
  for (int kind = 1; kind < kFaultKinds; ++kind) {
    text += Row<int>(std::string("&nbsp;&nbsp;") + FaultName(static_cast<Fault>(kind)), all,
                     [kind](F f) { return f.injected[static_cast<size_t>(kind)]; });
  }
  text += Row<int>("failures the faults called for", all, [](F f) { return f.expected_failures; });
  text += Row<int>("failures reported", all, [](F f) { return f.failures; });
  text += Row<int>("**success reported for a spoiled reply**", all, [](F f) { return f.false_successes; });
  text += Row<int>("**success with a wrong value**", all, [](F f) { return f.wrong_values; });
  text += Row<int>("**calls past their wait + slack**", all, [](F f) { return f.overruns; });
  text += Row<int>("**collections lost or corrupted without a description**", all,
                   [](F f) { return f.collection_violations; });
  text += Row<int>("**reconnections that failed**", all, [](F f) { return f.reconnect_failures; });
  text += Row<int>("failures no fault called for", all, [](F f) { return f.unexpected_failures; });
  text += Row<int>("reconnections after a close", all, [](F f) { return f.reconnects; });
  text += Row<int>("collections", all, [](F f) { return f.collections; });
  text += Row<int>("&nbsp;&nbsp;complete", all, [](F f) { return f.complete_collections; });
  text += Row<int>("&nbsp;&nbsp;partial, described", all, [](F f) { return f.described_partial_collections; });
  text += Row<int>("&nbsp;&nbsp;failed (false)", all, [](F f) { return f.failed_collections; });
  text += Row<int64_t>("records held, summed over collections", all, [](F f) { return f.records_held; });
  text += Row<int64_t>("records collected exactly", all, [](F f) { return f.records_collected; });
  text += Row<int64_t>("records missing, described", all, [](F f) { return f.records_lost_described; });
  text += Row<int64_t>("lines at another record's position", all, [](F f) { return f.misplaced_lines; });
  text += Row<double>("longest call, s", all, [](F f) { return f.longest_call_seconds; }, false);
  text += Row<double>("worst (time taken - wait), s", all, [](F f) { return f.worst_margin_seconds; }, false);
  text += TextRow("descriptors before / after / most", all, [](F f) {
    return std::to_string(f.descriptors_before) + " / " + std::to_string(f.descriptors_after) + " / " +
           std::to_string(f.descriptors_most);
  });
  text += TextRow("resident MiB first / last / most", all, [](F f) {
    return MiB(f.resident_kib_first) + " / " + MiB(f.resident_kib_last) + " / " + MiB(f.resident_kib_most);
  });
  text += Row<double>("run time, s", all, [](F f) { return f.seconds; }, false);
  std::vector<std::string> findings;
  for (const SoakFigures& f : all) findings.insert(findings.end(), f.findings.begin(), f.findings.end());
  return text + Findings(findings);
}

std::string HostileReport(const HostileFigures& f) {
  std::string text = "### Hostile peers over TCP\n\n";
  text += "| peer | call | s | wait, s | outcome | as required |\n|---|---|---|---|---|---|\n";
  // The flood repeats its calls: its longest of each is enough.
  std::vector<const TimedCall*> shown;
  for (const TimedCall& call : f.calls) {
    bool merged = false;
    for (const TimedCall*& s : shown) {
      if (s->peer == call.peer && s->call == call.call && call.peer == "flood") {
        if (call.seconds > s->seconds || !call.right) s = &call;
        merged = true;
      }
    }
    if (!merged) shown.push_back(&call);
  }
  for (const TimedCall* call : shown) {
    text += "| " + call->peer + " | " + call->call + " | " + Fixed(call->seconds, 3) + " | " +
            Fixed(call->bound, 1) + " | " + call->outcome + " | " + (call->right ? "yes" : "**no**") + " |\n";
  }
  text += "\nFlood: " + MiB(f.flood_bytes_sent / 1024) + " MiB sent in " + Fixed(f.flood_seconds, 1) + " s over " +
          std::to_string(f.flood_calls) + " rounds of calls (the longest of each call is shown).\n";
  text += "Resident memory before / after / most: " + MiB(f.resident_kib_before) + " / " +
          MiB(f.resident_kib_after) + " / " + MiB(f.resident_kib_most) + " MiB (growth " +
          MiB(f.resident_kib_most - f.resident_kib_before) + " MiB). Descriptors before / after: " +
          std::to_string(f.descriptors_before) + " / " + std::to_string(f.descriptors_after) + ".\n";
  text += "Worst (time taken - wait): " + Fixed(f.worst_margin_seconds, 3) + " s. Violations: " +
          std::to_string(f.violations) + ".\n";
  return text + Findings(f.findings);
}

std::string DeviceLossReport(const DeviceLossFigures& f) {
  std::string text = "### Serial device lost\n\n";
  text += "| call | s | wait, s | outcome | as required |\n|---|---|---|---|---|\n";
  for (const TimedCall& call : f.calls) {
    text += "| " + call.call + " | " + Fixed(call.seconds, 3) + " | " + Fixed(call.bound, 1) + " | " +
            call.outcome + " | " + (call.right ? "yes" : "**no**") + " |\n";
  }
  text += "\nRecords collected exactly before the loss: " + std::to_string(f.records_before_loss) +
          ". Descriptors before / after: " + std::to_string(f.descriptors_before) + " / " +
          std::to_string(f.descriptors_after) + ". Violations: " + std::to_string(f.violations) + ".\n";
  return text + Findings(f.findings);
}

}  // namespace tallygate::soak
