// DemoConsole: the operator's window onto the link library.
//
//   DemoConsole [--tcp HOST[:PORT]] [--address A] [--screenshot FILE]
//
// The library's object is created by its programmatic identifier from the
// registration store (see tallygate/component_server.h), never linked.
// --tcp selects TCP and connects at start, as the operator would with the
// TCP option and the connect button; --address fills the address field;
// --screenshot saves a picture of the window once it is up, then ends.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>

#include <cstdio>

#include "demo/desktop.h"
#include "demo/frm_demo.h"
#include "demo/link_object.h"
#include "demo/mod_demo.h"
#include "demo/qt_host.h"
#include "tallygate/host_services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("DemoConsole"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("The operator's window onto TALLYGATE_V70."));
  parser.addHelpOption();
  const QCommandLineOption tcp(QStringLiteral("tcp"), QStringLiteral("Connect to a terminal over TCP at start."),
                               QStringLiteral("HOST[:PORT]"));
  const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Terminal address to start with."),
                                   QStringLiteral("A"));
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                     QStringLiteral("Save a picture of the window, then end."),
                                     QStringLiteral("FILE"));
  parser.addOptions({tcp, address, screenshot});
  parser.process(app);

  tallydemo::QtDesktop desktop;
  tallydemo::InstallHostServices(&desktop);
  QString problem;
  tallydemo::LinkObject link = tallydemo::LinkObject::Create(&problem);
  if (!link) {
    const QString text = QStringLiteral("无法创建 TALLYGATE_v70.Connect_v70：\n") + problem;
    std::fprintf(stderr, "DemoConsole: %s\n", text.toLocal8Bit().constData());
    desktop.MessageBox(tallydemo::kProgramTitle, text, TG_MB_ICON_CRITICAL);
    return 1;
  }

  tallydemo::FrmDemo window(std::move(link), desktop, tallydemo::ProgramFolder());
  desktop.set_parent(&window);
  if (parser.isSet(address)) window.SetAddress(parser.value(address));
  const QRect screen = window.screen()->availableGeometry();
  window.resize(window.sizeHint().boundedTo(screen.size()));
  window.show();

  if (parser.isSet(tcp)) {
    const QString target = parser.value(tcp);
    const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? target : target.left(colon);
    const QString port = colon < 0 ? QStringLiteral("1001") : target.mid(colon + 1);
    QTimer::singleShot(0, &window, [&window, host, port] { window.ConnectTcp(host, port); });
  }
  if (parser.isSet(screenshot)) {
    const QString file = parser.value(screenshot);
    // After the connection (up to 2 s) and one TCP state tick.
    QTimer::singleShot(4500, &window, [&window, file] {
      // Replaced whole, as every file the program writes; the picture's
      // format is named by the file's suffix.
      QSaveFile out(file);
      const QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
      const bool saved = out.open(QIODevice::WriteOnly) && !format.isEmpty() &&
                         window.grab().save(&out, format.constData()) && out.commit();
      QCoreApplication::exit(saved ? 0 : 1);
    });
  }
  return app.exec();
}
