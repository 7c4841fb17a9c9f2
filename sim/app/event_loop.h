// A single-threaded poll() loop over channels: things with descriptors to
// watch and times at which they have work.
#ifndef TALLYGATE_SIM_APP_EVENT_LOOP_H_
#define TALLYGATE_SIM_APP_EVENT_LOOP_H_

#include <poll.h>

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "sim/model/clock.h"

namespace tallygate::sim {

class Channel {
 public:
  virtual ~Channel() = default;

  // Appends the descriptors to watch this round.
  virtual void Watch(std::vector<pollfd>& fds) = 0;

  // Called after every poll with all descriptors of the round (each channel
  // finds its own by descriptor number) and the current time.
  virtual void Service(std::span<const pollfd> fds, TimePoint now) = 0;

  // When the channel next has work without any descriptor becoming ready.
  virtual std::optional<TimePoint> next_deadline() const { return std::nullopt; }
};

class EventLoop {
 public:
  void Add(Channel& channel) { channels_.push_back(&channel); }

  // Runs rounds until Stop is called.
  void Run();
  void Stop() { running_ = false; }

 private:
  std::vector<Channel*> channels_;
  bool running_ = false;
};

// The poll() events of `fd` in this round, or 0.
short EventsOf(std::span<const pollfd> fds, int fd);

// The same for a channel that noted where its Watch put `fd`: no search,
// for channels many enough that searching would cost more than polling.
short EventsAt(std::span<const pollfd> fds, size_t slot, int fd);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_EVENT_LOOP_H_
