#include "sim/model/wire_pacer.h"

#include <algorithm>

namespace tallygate::sim {

void WirePacer::Push(std::span<const uint8_t> bytes, TimePoint now, std::chrono::nanoseconds pause,
                     bool withdrawable) {
  if (bytes.empty()) return;
  TimePoint at = std::max(now, line_free_) + pause;
  for (uint8_t byte : bytes) {
    at += char_time_;
    items_.push_back({at, byte, false, withdrawable});
  }
  line_free_ = at;
}

size_t WirePacer::Withdraw() {
  const size_t dropped = std::erase_if(items_, [](const Item& item) { return item.withdrawable; });
  // The line is free again once what stays queued is through.
  if (dropped > 0) line_free_ = items_.empty() ? TimePoint{} : items_.back().due;
  return dropped;
}

void WirePacer::PushClose(TimePoint now) {
  line_free_ = std::max(now, line_free_);
  items_.push_back({line_free_, 0, true, false});
}

WirePacer::Released WirePacer::Release(TimePoint now) {
  Released out;
  while (!items_.empty() && items_.front().due <= now) {
    const Item item = items_.front();
    items_.pop_front();
    if (item.close) {
      out.close = true;
      break;
    }
    out.bytes.push_back(item.byte);
  }
  return out;
}

std::optional<TimePoint> WirePacer::next_release() const {
  if (items_.empty()) return std::nullopt;
  return items_.front().due;
}

void WirePacer::Clear() {
  items_.clear();
  line_free_ = {};
}

}  // namespace tallygate::sim
