#include "tests/support/host_capture.h"

#include "tallygate/host_services.h"

namespace tallygate::testing {

HostCapture::HostCapture(std::function<void()> pump) : pump_(std::move(pump)) {
  tg_host_services services{};
  services.context = this;
  services.message_box = [](void* context, const char* title, const char* text, int32_t style) {
    static_cast<HostCapture*>(context)->messages.push_back({title, text, style});
    return int32_t{TG_ANSWER_OK};
  };
  services.show_about = [](void* context, const char* caption, const char* version,
                           const char* second) {
    static_cast<HostCapture*>(context)->about.push_back(std::string(caption) + "|" + version +
                                                        "|" + second);
  };
  if (pump_) {
    services.pump_events = [](void* context) {
      auto* self = static_cast<HostCapture*>(context);
      ++self->pumps;
      self->pump_();
    };
  }
  tg_set_host_services(&services);
}

HostCapture::~HostCapture() { tg_set_host_services(nullptr); }

}  // namespace tallygate::testing
