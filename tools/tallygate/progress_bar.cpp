#include "tools/tallygate/progress_bar.h"

#include <sys/ioctl.h>

#include <algorithm>

#include "tools/tallygate/page_words.h"

namespace tallygate::cli {
namespace {

constexpr std::string_view kLabel = "records [";
constexpr int kNarrowestBar = 10;

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, int columns, std::chrono::milliseconds interval)
    : out_(out), columns_(columns), interval_(interval) {}

void ProgressBar::Put(std::string_view property, double value) {
  if (!tally_.Put(property, value)) return;
  const auto now = std::chrono::steady_clock::now();
  if (!drawn_ || now - last_draw_ >= interval_) Draw();
}

void ProgressBar::Page(int32_t page, int32_t pages, int32_t attempt, int32_t lost_pages, bool) {
  page_ = page;
  pages_ = pages;
  attempt_ = attempt;
  lost_pages_ = lost_pages;
  // A page tried again may then wait a while for its records: show it now.
  if (tally_.started()) Draw();
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  Draw();
  std::fputc('\n', out_);
  std::fflush(out_);
  drawn_ = false;
}

std::string ProgressBar::Line() const {
  const int64_t total = tally_.total();
  const int64_t shown = std::clamp<int64_t>(tally_.stored(), 0, total);
  const std::string total_text = std::to_string(total);
  std::string count = std::to_string(shown);
  count.insert(0, total_text.size() - std::min(total_text.size(), count.size()), ' ');
  count += "/" + total_text;
  if (page_ > 0) {
    count += " " + PageOfPages(page_, pages_);
    if (attempt_ > 1) count += ", attempt " + std::to_string(attempt_);
    if (lost_pages_ > 0) count += ", " + LostPages(lost_pages_);
  }
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
  last_draw_ = std::chrono::steady_clock::now();
}

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace tallygate::cli
