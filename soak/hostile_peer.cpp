#include "soak/hostile_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "link/protocol/command_table.h"
#include "link/protocol/units.h"
#include "sim/model/reply_builder.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_commands.h"
#include "soak/collection_audit.h"

namespace tallygate::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 50;
constexpr size_t kChunk = 64 * 1024;
constexpr uint8_t kGarbage = 0xEE;
constexpr int kUnitsBeforeHalf = 10;
constexpr uint32_t kSeed = 1;
constexpr uint8_t kTerminal = 1;
constexpr auto kPageUnits = static_cast<size_t>(kUnitsPerPage);

[[noreturn]] void Fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

// The reply length a terminal gives a command (page 0 of the record and
// card-list commands is the count). A command the host awaits no answer to,
// or one it does not know, gets a plain acknowledgement.
int ReplyLength(uint8_t code) {
  const sim::CommandInfo* info = sim::FindCommand(code);
  return info != nullptr && info->reply_length > 0 ? info->reply_length
                                                   : command::kClearFlag.reply_length;
}

// Sends everything unless the connection fails or the peer must stop.
bool SendAll(int fd, const uint8_t* data, size_t size, std::atomic<int64_t>& sent,
             const std::atomic<bool>& stop, Clock::time_point end) {
  size_t done = 0;
  while (done < size) {
    if (stop.load() || Clock::now() >= end) return false;
    const ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      sent += n;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    pollfd entry{fd, POLLOUT, 0};
    poll(&entry, 1, kPollMs);
  }
  return true;
}

void Reset(int fd) {
  linger abort_close{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_close, sizeof abort_close);
  close(fd);
}

}  // namespace

const char* PeerName(PeerKind kind) {
  switch (kind) {
    case PeerKind::kFlood: return "flood";
    case PeerKind::kHalfReply: return "half reply, then stall";
    case PeerKind::kCloseMidway: return "close during a collection";
    case PeerKind::kResetMidway: return "reset during a collection";
    case PeerKind::kSilent: return "accept, never answer";
  }
  return "?";
}

HostilePeer::HostilePeer(PeerOptions options)
    : options_(options), end_(Clock::now() + options.lifetime) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener_ < 0) Fail("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 4) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    close(listener_);
    errno = error;
    Fail("listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HostilePeer::~HostilePeer() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

std::vector<std::string> HostilePeer::RecordLines() const {
  return HeldRecordLines(sim::SyntheticRecords(static_cast<size_t>(options_.records), kSeed));
}

void HostilePeer::Serve() {
  while (!stop_.load() && Clock::now() < end_) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, kPollMs) <= 0) continue;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    ++connections_;
    ServeConnection(fd);
  }
}

void HostilePeer::ServeConnection(int fd) {
  const std::vector<sim::AttendanceRecord> records =
      sim::SyntheticRecords(static_cast<size_t>(options_.records), kSeed);
  const Bytes garbage(kChunk, kGarbage);
  Bytes pending;
  int64_t flooded = 0;
  int units_sent = 0;
  uint8_t buffer[4096];

  while (!stop_.load() && Clock::now() < end_) {
    if (options_.kind == PeerKind::kFlood && flooded < options_.flood_bytes) {
      const size_t size = static_cast<size_t>(std::min<int64_t>(kChunk, options_.flood_bytes - flooded));
      const ssize_t n = send(fd, garbage.data(), size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        flooded += n;
        sent_ += n;
        if (flooded >= options_.flood_bytes) flood_done_ = true;
      } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        break;
      }
    }
    pollfd entry{fd, static_cast<short>(POLLIN | (options_.kind == PeerKind::kFlood && !flood_done_ ? POLLOUT : 0)), 0};
    if (poll(&entry, 1, kPollMs) <= 0) continue;
    if ((entry.revents & POLLIN) == 0) {
      if ((entry.revents & (POLLHUP | POLLERR)) != 0) break;
      continue;
    }
    const ssize_t got = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    if (got < 0) continue;
    if (options_.kind == PeerKind::kFlood || options_.kind == PeerKind::kSilent) continue;
    pending.insert(pending.end(), buffer, buffer + got);

    // Address byte, then FrameLength bytes of frame.
    while (pending.size() >= 2 && pending.size() >= static_cast<size_t>(1 + pending[1])) {
      const size_t total = std::max<size_t>(1 + pending[1], 2);
      const Bytes frame(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(total));
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(total));
      if (frame.size() < 4) continue;
      const uint8_t address = frame[0], code = frame[2];
      const uint8_t page = frame.size() > 4 ? frame[3] : 0;
      const bool paged = code == command::kRecordPages.code || code == command::kCardPages.code;

      Bytes reply;
      bool break_connection = false;
      if (paged && page == 0) {
        const size_t count = code == command::kRecordPages.code ? records.size() : 0;
        reply = sim::CountReply(address, code, count);
      } else if (code == command::kRecordPages.code) {
        const size_t first = (size_t{page} - 1) * kPageUnits;
        const size_t last = std::min(records.size(), first + kPageUnits);
        for (size_t i = first; i < last; ++i) {
          const Bytes unit = sim::RecordUnit(kTerminal, command::kRecordPages.code, records[i]);
          const bool cut = options_.kind == PeerKind::kHalfReply ? i - first == kUnitsBeforeHalf
                                                                 : units_sent == options_.break_after_units;
          if (cut) {
            reply.insert(reply.end(), unit.begin(), unit.begin() + 8);
            break_connection = options_.kind != PeerKind::kHalfReply;
            break;
          }
          reply.insert(reply.end(), unit.begin(), unit.end());
          ++units_sent;
        }
      } else {
        reply = MakeReply(address, code, {}, ReplyLength(code));
        if (options_.kind == PeerKind::kHalfReply) reply.resize(reply.size() / 2);
      }
      if (!SendAll(fd, reply.data(), reply.size(), sent_, stop_, end_)) break;
      if (break_connection) {
        if (options_.kind == PeerKind::kResetMidway) {
          Reset(fd);
        } else {
          shutdown(fd, SHUT_RDWR);
          close(fd);
        }
        return;
      }
    }
  }
  close(fd);
}

}  // namespace tallygate::soak
