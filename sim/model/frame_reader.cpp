#include "sim/model/frame_reader.h"

#include <algorithm>
#include <utility>

#include "sim/model/wire_shape.h"

namespace tallygate::sim {

FrameReader::FrameReader(std::chrono::milliseconds silence) : silence_(silence) {}

void FrameReader::Feed(std::span<const uint8_t> bytes, TimePoint now) {
  if (bytes.empty()) return;
  Expire(now);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  last_byte_ = now;
  while (ParseOne(false) == Step::kConsumed) {
  }
}

void FrameReader::Expire(TimePoint now) {
  if (pending_.empty() || now - last_byte_ < PendingSilence()) return;
  // Nothing more is coming for the candidate at the front: what cannot be
  // completed now is noise, but a frame may still hide behind it.
  while (!pending_.empty()) {
    if (ParseOne(true) == Step::kNeedMore) DropFirstByte();
  }
  FlushDiscarded();
  at_boundary_ = true;
}

std::optional<ReaderEvent> FrameReader::Next() {
  if (events_.empty()) return std::nullopt;
  ReaderEvent event = std::move(events_.front());
  events_.pop_front();
  return event;
}

std::optional<TimePoint> FrameReader::deadline() const {
  if (pending_.empty()) return std::nullopt;
  return last_byte_ + PendingSilence();
}

std::chrono::milliseconds FrameReader::PendingSilence() const {
  return pending_.size() == 1 ? std::max(silence_, kAddressSilence) : silence_;
}

void FrameReader::Reset() {
  pending_.clear();
  events_.clear();
  discarded_ = 0;
  at_boundary_ = true;
}

FrameReader::Step FrameReader::ParseOne(bool flushing) {
  if (pending_.size() < 2) return Step::kNeedMore;
  const uint8_t frame_length = pending_[1];
  if (frame_length < kMinFrameLength) {
    DropFirstByte();
    return Step::kConsumed;
  }
  if (pending_.size() < 3) return Step::kNeedMore;
  const WireShape shape = ShapeOf(frame_length, pending_[2]);
  const auto total = static_cast<size_t>(1 + shape.wire_length);
  if (pending_.size() < total) return Step::kNeedMore;

  const uint8_t address = pending_[0];
  const std::span<const uint8_t> wire(pending_.data() + 1, total - 1);
  if (CheckByteValid(address, wire)) {
    FlushDiscarded();
    ReaderEvent event;
    event.frame = {address, Bytes(wire.begin(), wire.end())};
    events_.push_back(std::move(event));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(total));
    at_boundary_ = true;
    return Step::kConsumed;
  }
  if (at_boundary_ && !flushing) {
    ReaderEvent event;
    event.kind = ReaderEvent::Kind::kBadCheck;
    event.frame = {address, Bytes(wire.begin(), wire.end())};
    events_.push_back(std::move(event));
  }
  DropFirstByte();
  return Step::kConsumed;
}

void FrameReader::DropFirstByte() {
  pending_.erase(pending_.begin());
  ++discarded_;
  at_boundary_ = false;
}

void FrameReader::FlushDiscarded() {
  if (discarded_ == 0) return;
  ReaderEvent event;
  event.kind = ReaderEvent::Kind::kDiscarded;
  event.discarded = discarded_;
  events_.push_back(std::move(event));
  discarded_ = 0;
}

}  // namespace tallygate::sim
