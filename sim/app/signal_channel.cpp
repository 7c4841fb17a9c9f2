#include "sim/app/signal_channel.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace tallygate::sim {

SignalChannel::SignalChannel(EventLoop& loop, Output& output) : loop_(loop), output_(output) {
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGTERM);
  if (::sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "sigprocmask");
  }
  fd_.reset(::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "signalfd");
}

void SignalChannel::Watch(std::vector<pollfd>& fds) { fds.push_back({fd_.get(), POLLIN, 0}); }

void SignalChannel::Service(std::span<const pollfd> fds, TimePoint) {
  if ((EventsOf(fds, fd_.get()) & POLLIN) == 0) return;
  signalfd_siginfo info{};
  if (::read(fd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return;
  output_.Log("signal " + std::to_string(info.ssi_signo) + ", exiting");
  loop_.Stop();
}

}  // namespace tallygate::sim
