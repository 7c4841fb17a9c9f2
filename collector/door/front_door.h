// The dashboard's front door, in front of cpp-httplib's request handling:
// one thread accepts every connection and reads each request's head (and a
// small body) without blocking, within a deadline and within bounds; only a
// whole request goes to one of the workers, which serves it and hands the
// connection back for the next. cpp-httplib's own server reads in its
// workers, each read with its own timeout, so that a few clients sending a
// byte now and then held every worker; here a client that sends slowly, or
// not at all, holds no worker, and however many do, the others are served.
//
// What the door bounds:
// - a request's head (and a body it reads itself) must come whole within
//   head_deadline of its first byte (of the connection, for the first);
//   a kept-alive connection waits keep_alive for its next request;
// - a head's size and its number of lines (request_head.h);
// - a body's size, by its URL, refused from its Content-Length before any
//   byte of it is read;
// - connections at once, in all and from one client address; one over is
//   answered 503 and closed;
// - workers serving one client address at once, so that one client's
//   requests cannot take every worker;
// - a client that keeps presenting wrong tokens waits (FailedSignIns).
// A refused request is answered with its reason and the connection closed
// once the client has had a moment to read it (a lingering close: what it
// still sends is read and dropped, for at most kLinger).
#ifndef TALLYGATE_COLLECTOR_DOOR_FRONT_DOOR_H_
#define TALLYGATE_COLLECTOR_DOOR_FRONT_DOOR_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "collector/base/failure.h"
#include "collector/door/connection.h"
#include "collector/door/request_head.h"
#include "collector/door/tls_context.h"

namespace tallygate::collector::door {

struct DoorLimits {
  std::chrono::milliseconds head_deadline{10000};
  std::chrono::milliseconds keep_alive{2000};
  HeadLimits head;
  // Bodies up to this size are read by the door with the head; a longer
  // one (an import) is read by its worker once the request is let in.
  size_t body_read_ahead = 16 * 1024;
  size_t connections = 512;
  size_t connections_per_client = 32;
  size_t workers = 16;
  // Half: a client holding every live feed and download still has its pages.
  size_t workers_per_client = 8;
  int requests_per_connection = 100;
};

// A door that cannot open: the address cannot be bound, or the system gives
// no epoll. what() is the system's reason ("Address already in use").
class ListenError : public Failure {
 public:
  using Failure::Failure;
};

class FrontDoor {
 public:
  using Clock = std::chrono::steady_clock;
  // Serves the request whose head `head` describes, waiting in `connection`
  // (its Unread()), closing the connection after it when `last`; true when
  // the connection may carry another request.
  using Serve = std::function<bool(Connection& connection, const RequestHead& head, bool last)>;
  // Until when requests from a client address wait.
  using HoldUntil = std::function<Clock::time_point(const std::string& client)>;

  FrontDoor(DoorLimits limits, BodyLimit body_limit, Serve serve, HoldUntil hold_until);
  ~FrontDoor();
  FrontDoor(const FrontDoor&) = delete;
  FrontDoor& operator=(const FrontDoor&) = delete;

  // Binds `host`:`port` (0: a free port); the port bound. Throws
  // ListenError.
  int Listen(const std::string& host, int port);
  int listener() const { return listener_; }
  // HTTPS with the context `tls` gives when a connection arrives; before
  // Start.
  void UseTls(std::shared_ptr<TlsContext> tls) { tls_ = std::move(tls); }
  // Throws ListenError.
  void Start();
  // Lets the requests being served end, then closes every connection.
  void Stop();

 private:
  // kQueued: handed to the workers, waiting for one or being served.
  enum class Phase { kHandshake, kHead, kIdle, kHeld, kQueued, kClosing };
  struct Entry {
    std::unique_ptr<Connection> connection;
    Phase phase = Phase::kHead;
    Clock::time_point deadline;
    uint32_t watched = 0;  // the epoll events asked for; 0: not in the set
    RequestHead head;
    std::string answer;  // a refusal still to send (kClosing)
    size_t linger_read = 0;
    bool writing_ended = false;
  };
  struct Returned {
    Entry* entry;
    bool keep;
  };

  void Run();
  void Work();
  void Accept();
  void Advance(Entry& entry);
  void ReadHead(Entry& entry);
  void Dispatch(Entry& entry);
  void Refuse(Entry& entry, int status, const std::string& reason);
  void Linger(Entry& entry);
  void Close(Entry& entry);
  void TakeReturned();
  void Expire();
  void Watch(Entry& entry, uint32_t events);
  int WaitMilliseconds() const;
  void Wake() const;

  const DoorLimits limits_;
  const BodyLimit body_limit_;
  const Serve serve_;
  const HoldUntil hold_until_;
  std::shared_ptr<TlsContext> tls_;

  int listener_ = -1;
  int epoll_ = -1;
  int wake_ = -1;  // an eventfd: a worker handed a connection back, or stop
  std::thread door_;
  std::vector<std::thread> workers_;
  Clock::time_point accept_paused_until_{};

  // The door's own: every connection, and each client's count of them.
  std::unordered_map<int, std::unique_ptr<Entry>> entries_;
  std::unordered_map<std::string, size_t> connections_;
  Clock::time_point last_refusal_log_{};

  // Shared with the workers.
  std::mutex mutex_;
  std::condition_variable ready_changed_;
  std::deque<Entry*> ready_;
  std::unordered_map<std::string, size_t> busy_;  // workers serving each client
  std::vector<Returned> returned_;
  bool stopping_ = false;
};

}  // namespace tallygate::collector::door

#endif  // TALLYGATE_COLLECTOR_DOOR_FRONT_DOOR_H_
