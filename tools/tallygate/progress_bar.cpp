#include "tools/tallygate/progress_bar.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cmath>

#include "tallygate/progress.h"

namespace tallygate::cli {
namespace {

constexpr std::string_view kLabel = "records [";
constexpr int kNarrowestBar = 10;

// The puts come from the library as numbers of any size; a count beyond
// this is not a terminal's.
int64_t Whole(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int64_t>(std::clamp(value, -1e15, 1e15));
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, int columns, std::chrono::milliseconds interval)
    : out_(out), columns_(columns), interval_(interval) {}

void ProgressBar::Put(std::string_view property, double value) {
  if (property == "Max") {
    started_ = true;
    awaiting_reset_ = true;
    max_ = Whole(value);
    stored_ = 0;
  } else if (property == "Min") {
    min_ = Whole(value);
  } else if (property == "Value") {
    if (!started_) return;
    if (awaiting_reset_) {
      awaiting_reset_ = false;
    } else {
      stored_ = std::max(stored_, Whole(value) - min_ + 1);
    }
  } else {
    return;
  }
  if (!started_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!drawn_ || now - last_draw_ >= interval_) {
    last_draw_ = now;
    Draw();
  }
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  Draw();
  std::fputc('\n', out_);
  std::fflush(out_);
  drawn_ = false;
}

int64_t ProgressBar::total() const { return std::max<int64_t>(0, max_ - min_ - 1); }

std::string ProgressBar::Line() const {
  const int64_t total = this->total();
  const int64_t shown = std::clamp<int64_t>(stored_, 0, total);
  const std::string total_text = std::to_string(total);
  std::string count = std::to_string(shown);
  count.insert(0, total_text.size() - std::min(total_text.size(), count.size()), ' ');
  count += "/" + total_text;
  // "records [" BAR "] " COUNT, within columns - 1.
  const int fixed = static_cast<int>(kLabel.size() + 2 + count.size());
  const int width = std::max(kNarrowestBar, columns_ - 1 - fixed);
  const int filled =
      total == 0 ? width : static_cast<int>(static_cast<int64_t>(width) * shown / total);
  std::string line(kLabel);
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(width - filled), '-');
  line += "] ";
  line += count;
  return line;
}

void ProgressBar::Draw() {
  const std::string line = Line();
  std::fputc('\r', out_);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  drawn_ = true;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

DispatchRef MakeProgressObject(ProgressBar& bar) {
  tg_progress_sink sink{};
  sink.context = &bar;
  sink.set = [](void* context, const char* property, double value) {
    static_cast<ProgressBar*>(context)->Put(property, value);
  };
  tg_dispatch* object = tg_progress_object_create(&sink);
  if (object == nullptr) return {};
  return DispatchRef::Adopt(object);
}

}  // namespace tallygate::cli
