// The program's standard output: one line at a time, written at once, so
// that a test reading it sees every line as soon as it happens.
//
// Lines come in two kinds: protocol lines (start-up announcements, answers
// to control commands) always appear; log lines (frames handled, clients
// coming and going) are left out with --quiet.
#ifndef TALLYGATE_SIM_APP_OUTPUT_H_
#define TALLYGATE_SIM_APP_OUTPUT_H_

#include <string_view>

namespace tallygate::sim {

class Output {
 public:
  explicit Output(bool quiet) : quiet_(quiet) {}

  void Line(std::string_view line);
  void Log(std::string_view line) {
    if (!quiet_) Line(line);
  }

 private:
  bool quiet_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_OUTPUT_H_
