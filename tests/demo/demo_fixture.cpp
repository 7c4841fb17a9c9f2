#include "tests/demo/demo_fixture.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstdlib>

#include "demo/qt_host.h"
#include "tallygate/component_server.h"
#include "tallygate/host_services.h"
#include "tallygate/registry.h"

namespace tallydemo::testing {

int FakeDesktop::MessageBox(const QString& title, const QString& text, int style) {
  boxes.push_back({title, text, style});
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (style & 0x0F) == TG_MB_YES_NO || (style & 0x0F) == TG_MB_YES_NO_CANCEL ? TG_ANSWER_YES
                                                                                : TG_ANSWER_OK;
}

QString FakeDesktop::OpenFileName(const QString& filter) {
  filters << filter;
  return next_file;
}

void FakeDesktop::ShowAbout(const QString& caption, const QString& version, const QString& second) {
  abouts << caption + QLatin1Char('|') + version + QLatin1Char('|') + second;
}

bool FakeDesktop::OpenInEditor(const QString& path) {
  opened << path;
  return true;
}

void DemoEnvironment::Setup(FakeDesktop& desktop) {
  QDir().mkpath(folder());
  QDir().mkpath(path(QStringLiteral("home")));
  qputenv("TALLYGATE_REGISTRY", path(QStringLiteral("components")).toUtf8());
  qputenv("TALLYGATE_HOME", path(QStringLiteral("home")).toUtf8());
  qputenv("TALLYGATE_SYSTEM_LOCALE", "C");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path(QStringLiteral("config")));
  tallygate::registry::Add(path(QStringLiteral("components")).toStdString(),
                           {TG_CONNECT_V70_PROG_ID, TG_CONNECT_V70_CLASS_ID, TALLYGATE_V70_PATH});
  InstallHostServices(&desktop);
}

void DemoEnvironment::Reset() const {
  QSettings(QStringLiteral("TallyDemo")).clear();
  QDir program(folder());
  program.removeRecursively();
  QDir().mkpath(folder());
}

std::unique_ptr<tallygate::testing::SimProcess> StartSim(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"--tcp-port", "0", "--pty", "--address", "1", "--quiet"};
  args.insert(args.end(), extra.begin(), extra.end());
  auto sim = std::make_unique<tallygate::testing::SimProcess>(args);
  qputenv("TALLYGATE_COM3", QByteArray::fromStdString(sim->pty_path()));
  return sim;
}

std::unique_ptr<FrmDemo> OpenWindow(FakeDesktop& desktop, const QString& folder) {
  QString problem;
  LinkObject link = LinkObject::Create(&problem);
  if (!link) qFatal("cannot create the link object: %s", qPrintable(problem));
  return std::make_unique<FrmDemo>(std::move(link), desktop, folder);
}

bool Click(const QWidget& window, const QString& name) {
  auto* button = window.findChild<QAbstractButton*>(name);
  if (button == nullptr) return false;
  button->click();
  return true;
}

bool Type(const QWidget& window, const QString& name, const QString& text) {
  auto* field = window.findChild<QLineEdit*>(name);
  if (field == nullptr) return false;
  field->setText(text);
  return true;
}

QString Status(const FrmDemo& window) { return window.statusBar()->currentMessage(); }

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
  return QString::fromUtf8(file.readAll());
}

}  // namespace tallydemo::testing
