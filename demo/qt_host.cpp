#include "demo/qt_host.h"

#include <QCoreApplication>
#include <QString>

#include "demo/desktop.h"
#include "tallygate/runtime.h"

namespace tallydemo {
namespace {

int32_t HostMessageBox(void* context, const char* title, const char* text, int32_t style) {
  return static_cast<Desktop*>(context)->MessageBox(QString::fromUtf8(title),
                                                    QString::fromUtf8(text), style);
}

void HostAbout(void* context, const char* caption, const char* version, const char* second) {
  static_cast<Desktop*>(context)->ShowAbout(QString::fromUtf8(caption),
                                            QString::fromUtf8(version),
                                            QString::fromUtf8(second));
}

void HostPump(void*) { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace

void InstallHostServices(Desktop* desktop) {
  if (desktop == nullptr) {
    tg_runtime_set_host_services(nullptr);
    return;
  }
  tg_host_services services{};
  services.context = desktop;
  services.message_box = HostMessageBox;
  services.show_about = HostAbout;
  services.pump_events = HostPump;
  tg_runtime_set_host_services(&services);
}

}  // namespace tallydemo
