#include "collector/web/metrics_text.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <optional>

namespace tallygate::collector::web {
namespace {

struct Label {
  const char* name;
  std::string_view value;
};

class Exposition {
 public:
  void Family(const char* name, const char* type, const char* help) {
    name_ = name;
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }

  // A sample of the family; `suffix` names a histogram's _bucket, _sum or
  // _count.
  void Sample(std::initializer_list<Label> labels, double value, std::string_view suffix = "") {
    text_ += name_;
    text_ += suffix;
    const char* separator = "{";
    for (const Label& label : labels) {
      text_ += separator;
      text_ += label.name;
      text_ += "=\"" + LabelValue(label.value) + "\"";
      separator = ",";
    }
    if (labels.size() != 0) text_ += "}";
    text_ += ' ' + Number(value) + '\n';
  }

  // The shortest text that reads back as `value`.
  static std::string Number(double value) {
    char number[32];
    return std::string(number, std::to_chars(number, number + sizeof number, value).ptr);
  }

  std::string text() && { return std::move(text_); }

 private:
  std::string name_;
  std::string text_;
};

double Seconds(UtcTime time) { return static_cast<double>(time.time_since_epoch().count()); }

const TerminalPollMetrics& PollsOf(const PollMetricsSnapshot& polls, const std::string& name) {
  static const TerminalPollMetrics kNone;
  const auto found = polls.terminals.find(name);
  return found == polls.terminals.end() ? kNone : found->second;
}

using Terminals = std::vector<const TerminalView*>;

// A sample labelled with each terminal's name: `value` of its view, none
// for a terminal where it is absent.
template <class Value>
void EachTerminal(Exposition& out, const Terminals& terminals, Value value) {
  for (const TerminalView* view : terminals) {
    if (const std::optional<double> sample = value(*view)) {
      out.Sample({{"terminal", view->state.info.name}}, *sample);
    }
  }
}

// How each terminal answered its last poll.
void AddAnswers(Exposition& out, const Terminals& terminals) {
  out.Family("tallygate_terminal_up", "gauge",
             "1 when the terminal's last poll succeeded or found its line busy, else 0.");
  EachTerminal(out, terminals, [](const TerminalView& view) -> std::optional<double> {
    return view.answering == Answering::kAnswering || view.answering == Answering::kBusy;
  });
  out.Family("tallygate_terminal_busy", "gauge",
             "1 while another program holds the terminal's line (its last poll found it busy; "
             "tried again in seconds, not a failure), else 0.");
  EachTerminal(out, terminals, [](const TerminalView& view) -> std::optional<double> {
    return view.answering == Answering::kBusy;
  });
  out.Family("tallygate_terminal_wrong_terminal", "gauge",
             "1 while the terminal's address answers with another terminal's memory (held: "
             "nothing stored, cleared or written), else 0.");
  EachTerminal(out, terminals, [](const TerminalView& view) -> std::optional<double> {
    return view.answering == Answering::kWrongTerminal;
  });
}

// What the store keeps of each terminal.
void AddStoredState(Exposition& out, const Terminals& terminals) {
  out.Family("tallygate_terminal_last_success_timestamp_seconds", "gauge",
             "When the terminal's last successful poll ended, in seconds since 1970 (UTC).");
  EachTerminal(out, terminals, [](const TerminalView& view) -> std::optional<double> {
    const std::optional<UtcTime>& last = view.state.last_success;
    return last ? std::optional<double>(Seconds(*last)) : std::nullopt;
  });
  out.Family("tallygate_terminal_punches_stored", "gauge", "Punches of the terminal in the store.");
  EachTerminal(out, terminals, [](const TerminalView& view) -> std::optional<double> {
    return static_cast<double>(view.state.punches);
  });
  out.Family("tallygate_terminal_records", "gauge",
             "Records the terminal held when it last answered.");
  EachTerminal(out, terminals,
               [](const TerminalView& view) -> std::optional<double> { return view.state.count; });
}

// Each terminal's polls since the collector started: their durations and
// failures.
void AddPolls(Exposition& out, const Terminals& terminals, const PollMetricsSnapshot& polls) {
  out.Family("tallygate_poll_duration_seconds", "histogram",
             "How long the terminal's polls since the collector started took.");
  for (const TerminalView* view : terminals) {
    const std::string& name = view->state.info.name;
    const DurationHistogram& durations = PollsOf(polls, name).durations;
    for (size_t i = 0; i < durations.buckets.size(); ++i) {
      out.Sample({{"terminal", name}, {"le", Exposition::Number(kPollDurationBounds[i])}},
                 static_cast<double>(durations.buckets[i]), "_bucket");
    }
    out.Sample({{"terminal", name}, {"le", "+Inf"}}, static_cast<double>(durations.count),
               "_bucket");
    out.Sample({{"terminal", name}}, durations.sum, "_sum");
    out.Sample({{"terminal", name}}, static_cast<double>(durations.count), "_count");
  }
  out.Family("tallygate_poll_errors_total", "counter",
             "Polls that failed since the collector started, by terminal and kind "
             "(unreachable, partial, store_failed).");
  for (const TerminalView* view : terminals) {
    const std::string& name = view->state.info.name;
    const std::map<std::string, uint64_t>& errors = PollsOf(polls, name).errors;
    for (const char* kind : kPollErrorKinds) {
      const auto found = errors.find(kind);
      out.Sample({{"terminal", name}, {"kind", kind}},
                 found == errors.end() ? 0.0 : static_cast<double>(found->second));
    }
  }
}

// The card changes each terminal's list still needs, and how long the
// oldest has waited.
void AddPendingCards(Exposition& out, const Terminals& terminals,
                     const std::vector<PendingCount>& pending, UtcTime now) {
  out.Family("tallygate_cards_pending", "gauge",
             "Card changes the terminal's list still needs, by change (add, rewrite, remove; "
             "while a removal is pending the card may still open the terminal).");
  for (const TerminalView* view : terminals) {
    const std::string& name = view->state.info.name;
    for (const CardChange change : {CardChange::kAdd, CardChange::kRewrite, CardChange::kRemove}) {
      const auto found = std::find_if(pending.begin(), pending.end(), [&](const PendingCount& c) {
        return c.terminal == name && c.change == change;
      });
      out.Sample({{"terminal", name}, {"change", CardChangeName(change)}},
                 found == pending.end() ? 0.0 : static_cast<double>(found->count));
    }
  }
  out.Family("tallygate_cards_pending_oldest_seconds", "gauge",
             "How long the terminal's oldest pending card change has waited; absent when none.");
  EachTerminal(out, terminals, [&](const TerminalView& view) -> std::optional<double> {
    std::optional<UtcTime> oldest;
    for (const PendingCount& count : pending) {
      if (count.terminal == view.state.info.name && (!oldest || count.oldest < *oldest)) {
        oldest = count.oldest;
      }
    }
    return oldest ? std::optional<double>(Seconds(now) - Seconds(*oldest)) : std::nullopt;
  });
}

}  // namespace

std::string LabelValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string MetricsText(const std::vector<TerminalView>& views, const PollMetricsSnapshot& polls,
                        const std::vector<PendingCount>& pending, UtcTime now) {
  Terminals terminals;
  for (const TerminalView& view : views) {
    if (view.configured) terminals.push_back(&view);
  }
  Exposition out;
  AddAnswers(out, terminals);
  AddStoredState(out, terminals);
  AddPolls(out, terminals, polls);
  AddPendingCards(out, terminals, pending, now);
  out.Family("tallygate_store_errors_total", "counter",
             "Store operations that failed since the collector started, by the poller or the "
             "dashboard.");
  out.Sample({}, static_cast<double>(polls.store_errors));
  return std::move(out).text();
}

std::string SinkMetricsText(const std::vector<SinkReport>& sinks) {
  Exposition out;
  out.Family("tallygate_delivery_backlog", "gauge",
             "Punches stored that the sink has not delivered yet.");
  for (const SinkReport& sink : sinks) {
    out.Sample({{"sink", sink.name}}, static_cast<double>(sink.backlog.punches));
  }
  out.Family("tallygate_delivery_oldest_undelivered_seconds", "gauge",
             "How long ago the oldest punch the sink has not delivered was swiped (stored, "
             "without a valid time); 0 when it has delivered everything.");
  for (const SinkReport& sink : sinks) {
    out.Sample({{"sink", sink.name}},
               sink.oldest_age ? static_cast<double>(sink.oldest_age->count()) : 0);
  }
  out.Family("tallygate_delivery_failures_total", "counter",
             "Tries at a batch that the receiver did not accept (no answer, refused, or a "
             "file that could not be written), kept in the store.");
  for (const SinkReport& sink : sinks) {
    out.Sample({{"sink", sink.name}}, static_cast<double>(sink.state.failures));
  }
  out.Family("tallygate_delivery_stopped", "gauge",
             "1 while the receiver's refusal stops the sink (until deliver retry), else 0.");
  for (const SinkReport& sink : sinks) {
    out.Sample({{"sink", sink.name}}, sink.state.stopped.empty() ? 0 : 1);
  }
  out.Family("tallygate_delivery_refused", "gauge",
             "Punches the sink's HR system refused (no such employee, one who left, ...), kept "
             "until they are placed after deliver retry --refused.");
  for (const SinkReport& sink : sinks) {
    out.Sample({{"sink", sink.name}}, static_cast<double>(sink.refused));
  }
  return std::move(out).text();
}

std::string SourceMetricsText(const std::vector<SourceRead>& reads) {
  Exposition out;
  out.Family("tallygate_holders_source_last_success_timestamp_seconds", "gauge",
             "When a read of the HR system was last made (0: never), as Unix time.");
  for (const SourceRead& read : reads) {
    out.Sample({{"source", read.source}},
               read.last_success
                   ? static_cast<double>(read.last_success->time_since_epoch().count())
                   : 0);
  }
  out.Family("tallygate_holders_source_changes", "gauge",
             "What the last read of the HR system changed, by change (add, change, revoke).");
  for (const SourceRead& read : reads) {
    out.Sample({{"source", read.source}, {"change", "add"}}, static_cast<double>(read.added));
    out.Sample({{"source", read.source}, {"change", "change"}}, static_cast<double>(read.changed));
    out.Sample({{"source", read.source}, {"change", "revoke"}}, static_cast<double>(read.revoked));
  }
  out.Family("tallygate_holders_source_held", "gauge",
             "Revocations the last read of the HR system holds for an admin's confirmation "
             "(more than its max_revoke); 0 when none.");
  for (const SourceRead& read : reads) {
    out.Sample({{"source", read.source}}, static_cast<double>(read.held.size()));
  }
  out.Family("tallygate_holders_source_refused", "gauge",
             "1 when the last read of the HR system failed or was refused (nothing changed), "
             "else 0.");
  for (const SourceRead& read : reads) {
    const bool bad = read.outcome == SourceRead::Outcome::kFailed ||
                     read.outcome == SourceRead::Outcome::kRefused;
    out.Sample({{"source", read.source}}, bad ? 1 : 0);
  }
  return std::move(out).text();
}

}  // namespace tallygate::collector::web
