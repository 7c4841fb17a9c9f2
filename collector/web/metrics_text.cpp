#include "collector/web/metrics_text.h"

#include <charconv>

namespace tallygate::collector::web {
namespace {

class Exposition {
 public:
  void Family(const char* name, const char* type, const char* help) {
    name_ = name;
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }

  void Sample(const std::string& terminal, double value, const char* kind = nullptr) {
    text_ += name_;
    if (!terminal.empty()) {
      text_ += "{terminal=\"" + LabelValue(terminal) + "\"";
      if (kind != nullptr) text_ += std::string(",kind=\"") + kind + "\"";
      text_ += "}";
    }
    char number[32];  // the shortest text that reads back as `value`
    const auto end = std::to_chars(number, number + sizeof number, value).ptr;
    text_ += ' ';
    text_.append(number, end);
    text_ += '\n';
  }

  std::string text() && { return std::move(text_); }

 private:
  std::string name_;
  std::string text_;
};

double Seconds(UtcTime time) { return static_cast<double>(time.time_since_epoch().count()); }

}  // namespace

std::string LabelValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string MetricsText(const std::vector<TerminalView>& terminals,
                        const PollMetricsSnapshot& polls) {
  Exposition out;
  out.Family("tallygate_terminal_up", "gauge",
             "1 when the terminal's last poll succeeded, else 0.");
  for (const TerminalView& view : terminals) {
    out.Sample(view.state.info.name, view.answering == Answering::kAnswering ? 1 : 0);
  }
  out.Family("tallygate_terminal_last_success_timestamp_seconds", "gauge",
             "When the terminal's last successful poll ended, in seconds since 1970 (UTC).");
  for (const TerminalView& view : terminals) {
    if (view.state.last_success) out.Sample(view.state.info.name, Seconds(*view.state.last_success));
  }
  out.Family("tallygate_terminal_punches_stored", "gauge", "Punches of the terminal in the store.");
  for (const TerminalView& view : terminals) {
    out.Sample(view.state.info.name, static_cast<double>(view.state.punches));
  }
  out.Family("tallygate_terminal_records", "gauge",
             "Records the terminal held when it last answered.");
  for (const TerminalView& view : terminals) {
    if (view.state.count) out.Sample(view.state.info.name, *view.state.count);
  }
  out.Family("tallygate_poll_duration_seconds", "gauge",
             "How long the terminal's last poll since the collector started took.");
  for (const auto& [name, terminal] : polls.terminals) {
    if (terminal.last_duration) out.Sample(name, terminal.last_duration->count());
  }
  out.Family("tallygate_poll_errors_total", "counter",
             "Polls that failed since the collector started, by terminal and kind "
             "(unreachable, partial, store_failed).");
  for (const TerminalView& view : terminals) {
    const auto found = polls.terminals.find(view.state.info.name);
    for (const char* kind : kPollErrorKinds) {
      uint64_t count = 0;
      if (found != polls.terminals.end()) {
        if (auto errors = found->second.errors.find(kind); errors != found->second.errors.end()) {
          count = errors->second;
        }
      }
      out.Sample(view.state.info.name, static_cast<double>(count), kind);
    }
  }
  out.Family("tallygate_store_errors_total", "counter",
             "Store operations that failed since the collector started, by the poller or the "
             "dashboard.");
  out.Sample("", static_cast<double>(polls.store_errors));
  return std::move(out).text();
}

}  // namespace tallygate::collector::web
