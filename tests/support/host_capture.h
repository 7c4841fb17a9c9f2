// Host services for tests: message boxes and about boxes are recorded, and an
// optional event pump runs a test's function during waits.
#ifndef TALLYGATE_TESTS_SUPPORT_HOST_CAPTURE_H_
#define TALLYGATE_TESTS_SUPPORT_HOST_CAPTURE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tallygate::testing {

struct Message {
  std::string title;
  std::string text;
  int32_t style;
};

// Installed for its lifetime; the default services come back afterwards.
class HostCapture {
 public:
  explicit HostCapture(std::function<void()> pump = nullptr);
  ~HostCapture();
  HostCapture(const HostCapture&) = delete;
  HostCapture& operator=(const HostCapture&) = delete;

  std::vector<Message> messages;
  std::vector<std::string> about;  // "caption|version label|second label"
  int pumps = 0;

 private:
  std::function<void()> pump_;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_HOST_CAPTURE_H_
