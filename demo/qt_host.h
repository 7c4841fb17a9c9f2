// The host services DemoConsole lends the library: its message boxes and
// about box go to a Desktop, and its waits run the window's pending events,
// so the window repaints and the progress bar moves during a collection.
#ifndef TALLYGATE_DEMO_QT_HOST_H_
#define TALLYGATE_DEMO_QT_HOST_H_

namespace tallydemo {

class Desktop;

// Installs the services for every library loaded now or later. `desktop`
// must outlive the installation; null takes the library's defaults back.
void InstallHostServices(Desktop* desktop);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_QT_HOST_H_
