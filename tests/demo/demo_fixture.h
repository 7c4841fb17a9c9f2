// What the window's tests share: a private environment (temporary folders,
// the built library registered in a temporary store, the settings store
// redirected), a Desktop that answers in place of the operator, the
// simulated terminal, and small helpers to reach controls by name.
#ifndef TALLYGATE_TESTS_DEMO_DEMO_FIXTURE_H_
#define TALLYGATE_TESTS_DEMO_DEMO_FIXTURE_H_

#include <QAbstractButton>
#include <QLineEdit>
#include <QStatusBar>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "demo/desktop.h"
#include "demo/frm_demo.h"
#include "sim/client/sim_process.h"

namespace tallydemo::testing {

// Records every box and editor start; answers boxes from a queue, else with
// the first button (OK, Yes).
class FakeDesktop : public Desktop {
 public:
  struct Box {
    QString title;
    QString text;
    int style = 0;
  };

  int MessageBox(const QString& title, const QString& text, int style) override;
  QString OpenFileName(const QString& filter) override;
  void ShowAbout(const QString& caption, const QString& version, const QString& second) override;
  bool OpenInEditor(const QString& path) override;

  std::vector<Box> boxes;
  std::deque<int> answers;
  QString next_file;
  QStringList filters;
  QStringList opened;
  QStringList abouts;
};

// One per test program: call Setup() from initTestCase.
class DemoEnvironment {
 public:
  // Creates the folders, points TALLYGATE_REGISTRY, TALLYGATE_HOME,
  // TALLYGATE_SYSTEM_LOCALE and the settings store into them, registers the
  // built library and installs the host services with `desktop`.
  void Setup(FakeDesktop& desktop);
  // The folder the window uses as its program folder.
  QString folder() const { return dir_.path() + QStringLiteral("/program"); }
  QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  // Forgets the window's settings and files between tests.
  void Reset() const;

 private:
  QTemporaryDir dir_;
};

// A terminal at address 1 over TCP and on a pseudo-terminal; COM3 is the
// pseudo-terminal (TALLYGATE_COM3).
std::unique_ptr<tallygate::testing::SimProcess> StartSim(const std::vector<std::string>& extra = {});

// A window on a fresh object, created by identifier.
std::unique_ptr<FrmDemo> OpenWindow(FakeDesktop& desktop, const QString& folder);

template <typename T>
T* Find(const QWidget& window, const QString& name) {
  return window.findChild<T*>(name);
}
// Clicks the button `name`; false when there is none.
bool Click(const QWidget& window, const QString& name);
// Sets the text of the field `name`; false when there is none.
bool Type(const QWidget& window, const QString& name, const QString& text);
QString Status(const FrmDemo& window);
// The whole file as text, or "<missing>".
QString ReadText(const QString& path);

}  // namespace tallydemo::testing

#endif  // TALLYGATE_TESTS_DEMO_DEMO_FIXTURE_H_
