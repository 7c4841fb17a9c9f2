#include "tallygate/host.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace tallygate::host {
namespace {

// Installed once by the host, read on every wait: a plain copy guarded by a
// mutex is enough, since installation is rare.
std::mutex g_mutex;
tg_host_services g_services{};

tg_host_services Snapshot() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_services;
}

void WriteLine(std::string_view title, std::string_view text) {
  std::string line(title);
  line += ": ";
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

int32_t DefaultAnswer(int32_t style) {
  switch (style & 0x0F) {
    case TG_MB_ABORT_RETRY_IGNORE: return TG_ANSWER_ABORT;
    case TG_MB_YES_NO_CANCEL:
    case TG_MB_YES_NO: return TG_ANSWER_YES;
    case TG_MB_RETRY_CANCEL: return TG_ANSWER_RETRY;
    default: return TG_ANSWER_OK;
  }
}

int32_t MessageBox(std::string_view title, std::string_view text, int32_t style) {
  tg_host_services services = Snapshot();
  if (services.message_box != nullptr) {
    std::string t(title), x(text);
    return services.message_box(services.context, t.c_str(), x.c_str(), style);
  }
  WriteLine(title, text);
  return DefaultAnswer(style);
}

void ShowAbout(std::string_view caption, std::string_view version_label,
               std::string_view second_label) {
  tg_host_services services = Snapshot();
  if (services.show_about != nullptr) {
    std::string c(caption), v(version_label), s(second_label);
    services.show_about(services.context, c.c_str(), v.c_str(), s.c_str());
    return;
  }
  std::string text(version_label);
  text += " ";
  text += second_label;
  WriteLine(caption, text);
}

bool HasEventPump() { return Snapshot().pump_events != nullptr; }

void PumpEvents() {
  tg_host_services services = Snapshot();
  if (services.pump_events != nullptr) services.pump_events(services.context);
}

}  // namespace tallygate::host

extern "C" void tg_set_host_services(const tg_host_services *services) {
  std::lock_guard<std::mutex> lock(tallygate::host::g_mutex);
  tallygate::host::g_services = services != nullptr ? *services : tg_host_services{};
}
