#include "collector/door/front_door.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "collector/base/log.h"

namespace tallygate::collector::door {
namespace {

using std::chrono::milliseconds;

// A refused connection's close: what the client still sends is read and
// dropped for this long, or this much, so that it reads the answer rather
// than a reset.
constexpr std::chrono::seconds kLinger{2};
constexpr size_t kLingerBytes = 1 << 20;
constexpr int kBacklog = 128;
// Out of file descriptors: accepting waits this long.
constexpr milliseconds kAcceptPause{100};
// At most one line a minute about refused connections and requests.
constexpr std::chrono::seconds kRefusalLogEvery{60};
// The door looks at its deadlines at least this often.
constexpr milliseconds kLongestWait{1000};
// The first byte of a TLS connection: a handshake record.
constexpr char kTlsHandshake = 0x16;

const char* StatusText(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 415: return "Unsupported Media Type";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

// A refusal as the dashboard gives its failures: JSON under /api/, plain
// text elsewhere.
std::string RefusalAnswer(int status, const std::string& path, const std::string& reason) {
  const bool json = path.starts_with("/api/");
  const std::string body =
      json ? nlohmann::json{{"error", reason}}.dump(-1, ' ', false,
                                                    nlohmann::json::error_handler_t::replace) +
                 "\n"
           : reason + "\n";
  return "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
         "\r\nContent-Type: " + (json ? "application/json" : "text/plain; charset=utf-8") +
         "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n" +
         (status == 503 ? "Retry-After: 5\r\n" : "") + "\r\n" + body;
}

std::string Seconds(milliseconds wait) {
  return std::to_string(wait.count() / 1000) +
         (wait.count() % 1000 != 0 ? "." + std::to_string(wait.count() % 1000 / 100) : "") + " s";
}

}  // namespace

FrontDoor::FrontDoor(DoorLimits limits, BodyLimit body_limit, Serve serve, HoldUntil hold_until)
    : limits_(limits),
      body_limit_(std::move(body_limit)),
      serve_(std::move(serve)),
      hold_until_(std::move(hold_until)) {}

FrontDoor::~FrontDoor() {
  Stop();
  for (int fd : {listener_, epoll_, wake_}) {
    if (fd >= 0) ::close(fd);
  }
}

int FrontDoor::Listen(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int error = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
      error != 0) {
    throw ListenError(std::strerror(error == EAI_SYSTEM ? errno : EADDRNOTAVAIL));
  }
  int error = EADDRNOTAVAIL;
  for (const addrinfo* address = found; address != nullptr && listener_ < 0; address = address->ai_next) {
    const int socket = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                address->ai_protocol);
    if (socket < 0) {
      error = errno;
      continue;
    }
    // SO_REUSEADDR only: with SO_REUSEPORT a second collector would share
    // the port silently instead of being refused.
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(socket, address->ai_addr, address->ai_addrlen) == 0 && ::listen(socket, kBacklog) == 0) {
      listener_ = socket;
    } else {
      error = errno;
      ::close(socket);
    }
  }
  freeaddrinfo(found);
  if (listener_ < 0) throw ListenError(std::strerror(error));
  return LocalOf(listener_).port;
}

void FrontDoor::Start() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (epoll_ < 0 || wake_ < 0) throw ListenError(std::strerror(errno));
  for (int fd : {listener_, wake_}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }
  for (size_t i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
  door_ = std::thread([this] { Run(); });
}

void FrontDoor::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  ready_changed_.notify_all();
  if (door_.joinable()) {
    Wake();
    door_.join();
  }
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  entries_.clear();  // every connection closed, those served last included
}

void FrontDoor::Wake() const {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t wrote = ::write(wake_, &one, sizeof one);
}

void FrontDoor::Run() {
  epoll_event events[64];
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    const int count = epoll_wait(epoll_, events, std::size(events), WaitMilliseconds());
    if (count < 0 && errno != EINTR) {
      Log(LogLevel::kError, std::string("dashboard: waiting for clients failed: ") + std::strerror(errno));
      return;
    }
    for (int i = 0; i < count; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener_) {
        Accept();
      } else if (fd == wake_) {
        uint64_t woken = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_, &woken, sizeof woken);
        TakeReturned();
      } else if (const auto found = entries_.find(fd); found != entries_.end()) {
        Advance(*found->second);
      }
    }
    Expire();
  }
}

int FrontDoor::WaitMilliseconds() const {
  const Clock::time_point now = Clock::now();
  Clock::time_point next = now + kLongestWait;
  for (const auto& [fd, entry] : entries_) {
    if (entry->phase != Phase::kQueued) next = std::min(next, entry->deadline);
  }
  if (accept_paused_until_ > now) next = std::min(next, accept_paused_until_);
  return static_cast<int>(std::max<int64_t>(
      0, std::chrono::ceil<milliseconds>(next - now).count()));
}

void FrontDoor::Accept() {
  const Clock::time_point now = Clock::now();
  while (true) {
    const int socket = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (socket < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Level-triggered: out of the set until the pause ends, or the
        // door would spin.
        epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
        accept_paused_until_ = now + kAcceptPause;
        Log(LogLevel::kWarning, std::string("dashboard: cannot accept connections for now: ") +
                                    std::strerror(errno));
      }
      return;
    }
    Endpoint peer = PeerOf(socket);
    size_t& mine = connections_[peer.address];
    if (entries_.size() >= limits_.connections || mine >= limits_.connections_per_client) {
      const bool all = entries_.size() >= limits_.connections;
      if (mine == 0) connections_.erase(peer.address);
      const std::string reason =
          all ? "the dashboard has " + std::to_string(limits_.connections) + " connections open"
              : std::to_string(limits_.connections_per_client) + " connections from " +
                    peer.address + " are open";
      if (!tls_) {
        // The client's request may not have come yet: an answer now is
        // read before the close.
        const std::string answer = RefusalAnswer(503, "", reason + ": try again later");
        [[maybe_unused]] const ssize_t sent =
            ::send(socket, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      }
      ::close(socket);
      if (now - last_refusal_log_ >= kRefusalLogEvery) {
        last_refusal_log_ = now;
        Log(LogLevel::kWarning, "dashboard: a connection refused: " + reason +
                                    " (others refused within a minute are not logged)");
      }
      continue;
    }
    ++mine;
    const int yes = 1;
    // cpp-httplib writes the head and the body apart; without no-delay the
    // body waits ~40 ms for the client's delayed acknowledgement.
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    auto entry = std::make_unique<Entry>();
    entry->connection = std::make_unique<Connection>(socket, std::move(peer));
    entry->phase = tls_ ? Phase::kHandshake : Phase::kHead;
    entry->deadline = now + limits_.head_deadline;
    Entry& added = *entry;
    entries_.emplace(socket, std::move(entry));
    Watch(added, EPOLLIN);
  }
}

void FrontDoor::Watch(Entry& entry, uint32_t events) {
  if (events == entry.watched) return;
  epoll_event event{};
  event.events = events;
  event.data.fd = entry.connection->socket();
  const int operation = entry.watched == 0 ? EPOLL_CTL_ADD : events == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
  epoll_ctl(epoll_, operation, entry.connection->socket(), &event);
  entry.watched = events;
}

void FrontDoor::Advance(Entry& entry) {
  switch (entry.phase) {
    case Phase::kHandshake: {
      Connection& connection = *entry.connection;
      if (!connection.tls()) {
        char first = 0;
        const ssize_t got = ::recv(connection.socket(), &first, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (got <= 0) return Close(entry);
        if (first != kTlsHandshake) {
          return Refuse(entry, 400, "this dashboard is served over HTTPS: use an https:// address");
        }
        connection.BeginTls(tls_->Current());
      }
      switch (connection.Handshake()) {
        case Connection::Step::kDone:
          entry.phase = Phase::kHead;
          return ReadHead(entry);
        case Connection::Step::kWaitRead: return Watch(entry, EPOLLIN);
        case Connection::Step::kWaitWrite: return Watch(entry, EPOLLOUT);
        default: return Close(entry);
      }
    }
    case Phase::kHead:
    case Phase::kIdle: return ReadHead(entry);
    case Phase::kClosing: return Linger(entry);
    case Phase::kHeld:
    case Phase::kQueued: return;
  }
}

void FrontDoor::ReadHead(Entry& entry) {
  Connection& connection = *entry.connection;
  size_t wanted = limits_.head.bytes;
  while (true) {
    const Connection::Step step = connection.Fill(wanted);
    if (entry.phase == Phase::kIdle && !connection.Unread().empty()) {
      entry.phase = Phase::kHead;
      entry.deadline = Clock::now() + limits_.head_deadline;
    }
    RequestHead head = ReadRequestHead(connection.Unread(), limits_.head, body_limit_);
    connection.Drop(head.skip);
    if (head.state == RequestHead::State::kRefused) {
      entry.head = std::move(head);
      return Refuse(entry, entry.head.status, entry.head.reason);
    }
    if (head.state == RequestHead::State::kComplete) {
      const bool read_body = head.body <= limits_.body_read_ahead && !head.expects_continue;
      const size_t whole = head.size + (read_body ? static_cast<size_t>(head.body) : 0);
      if (connection.Unread().size() >= whole) {
        entry.head = std::move(head);
        return Dispatch(entry);
      }
      wanted = whole;
    }
    switch (step) {
      case Connection::Step::kDone: continue;  // filled up to `wanted`: look again
      case Connection::Step::kWaitRead: return Watch(entry, EPOLLIN);
      case Connection::Step::kWaitWrite: return Watch(entry, EPOLLOUT);
      default: return Close(entry);  // gone before its request was whole
    }
  }
}

void FrontDoor::Dispatch(Entry& entry) {
  Watch(entry, 0);  // the worker reads and writes it now
  const std::string& client = entry.connection->peer().address;
  if (hold_until_) {
    const Clock::time_point until = hold_until_(client);
    if (until > Clock::now()) {
      entry.phase = Phase::kHeld;
      entry.deadline = until;
      return;
    }
  }
  entry.phase = Phase::kQueued;
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(&entry);
  }
  ready_changed_.notify_one();
}

void FrontDoor::Work() {
  while (true) {
    Entry* entry = nullptr;
    bool last = false;
    {
      std::unique_lock lock(mutex_);
      ready_changed_.wait(lock, [&] {
        if (stopping_) return true;
        // The oldest request of a client with workers to spare.
        const auto next = std::find_if(ready_.begin(), ready_.end(), [&](const Entry* waiting) {
          const auto busy = busy_.find(waiting->connection->peer().address);
          return busy == busy_.end() || busy->second < limits_.workers_per_client;
        });
        if (next == ready_.end()) return false;
        entry = *next;
        ready_.erase(next);
        return true;
      });
      if (stopping_) return;
      ++busy_[entry->connection->peer().address];
    }
    Connection& connection = *entry->connection;
    last = connection.requests + 1 >= limits_.requests_per_connection;
    bool keep = false;
    try {
      keep = serve_(connection, entry->head, last);
    } catch (const std::exception& e) {
      Log(LogLevel::kError, std::string("dashboard: a request failed: ") + e.what());
    }
    ++connection.requests;
    {
      std::lock_guard lock(mutex_);
      const auto busy = busy_.find(connection.peer().address);
      if (--busy->second == 0) busy_.erase(busy);
      returned_.push_back({entry, keep && !last});
    }
    // A request of the same client may be let in now.
    ready_changed_.notify_all();
    Wake();
  }
}

void FrontDoor::TakeReturned() {
  std::vector<Returned> returned;
  {
    std::lock_guard lock(mutex_);
    returned.swap(returned_);
  }
  const Clock::time_point now = Clock::now();
  for (const Returned& back : returned) {
    Entry& entry = *back.entry;
    if (!back.keep) {
      entry.phase = Phase::kClosing;
      entry.deadline = now + kLinger;
      Linger(entry);
      continue;
    }
    entry.phase = Phase::kIdle;
    entry.deadline = now + limits_.keep_alive;
    entry.head = {};
    // A request sent right behind the last is read already.
    if (!entry.connection->Unread().empty() || entry.connection->TlsHoldsMore()) {
      ReadHead(entry);
    } else {
      Watch(entry, EPOLLIN);
    }
  }
}

void FrontDoor::Refuse(Entry& entry, int status, const std::string& reason) {
  const Clock::time_point now = Clock::now();
  if (now - last_refusal_log_ >= kRefusalLogEvery) {
    last_refusal_log_ = now;
    Log(LogLevel::kInfo, "dashboard: a request from " + entry.connection->peer().address +
                             " refused (" + std::to_string(status) + "): " + reason +
                             " (others refused within a minute are not logged)");
  }
  entry.answer = RefusalAnswer(status, entry.head.path, reason);
  entry.phase = Phase::kClosing;
  entry.deadline = now + kLinger;
  Linger(entry);
}

void FrontDoor::Linger(Entry& entry) {
  Connection& connection = *entry.connection;
  if (!entry.writing_ended) {
    std::string_view left(entry.answer);
    const Connection::Step step = connection.Send(left);
    entry.answer.erase(0, entry.answer.size() - left.size());
    if (!entry.answer.empty()) {
      if (step == Connection::Step::kWaitWrite) return Watch(entry, EPOLLOUT);
      if (step == Connection::Step::kWaitRead) return Watch(entry, EPOLLIN);
      return Close(entry);
    }
    connection.EndWriting();
    entry.writing_ended = true;
  }
  while (true) {
    const Connection::Step step = connection.Fill(64 * 1024);
    entry.linger_read += connection.Unread().size();
    connection.Drop(connection.Unread().size());
    if (entry.linger_read > kLingerBytes) return Close(entry);
    switch (step) {
      case Connection::Step::kDone: continue;
      case Connection::Step::kWaitRead: return Watch(entry, EPOLLIN);
      case Connection::Step::kWaitWrite: return Watch(entry, EPOLLOUT);
      default: return Close(entry);
    }
  }
}

void FrontDoor::Close(Entry& entry) {
  Watch(entry, 0);
  const auto count = connections_.find(entry.connection->peer().address);
  if (count != connections_.end() && --count->second == 0) connections_.erase(count);
  entries_.erase(entry.connection->socket());
}

void FrontDoor::Expire() {
  const Clock::time_point now = Clock::now();
  if (accept_paused_until_ != Clock::time_point{} && now >= accept_paused_until_) {
    accept_paused_until_ = {};
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &event);
  }
  std::vector<Entry*> due;
  for (const auto& [fd, entry] : entries_) {
    if (entry->phase != Phase::kQueued && entry->deadline <= now) due.push_back(entry.get());
  }
  for (Entry* entry : due) {
    switch (entry->phase) {
      case Phase::kHeld: Dispatch(*entry); break;
      case Phase::kHead:
        if (!entry->connection->Unread().empty()) {
          Refuse(*entry, 408, "the request did not come whole within " + Seconds(limits_.head_deadline));
          break;
        }
        [[fallthrough]];
      default: Close(*entry); break;
    }
  }
}

}  // namespace tallygate::collector::door
