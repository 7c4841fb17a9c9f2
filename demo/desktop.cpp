#include "demo/desktop.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <utility>
#include <vector>

#include "demo/editor_command.h"
#include "tallygate/host_services.h"

namespace tallydemo {
namespace {

QMessageBox::Icon IconOf(int style) {
  switch (style & 0x70) {
    case TG_MB_ICON_CRITICAL: return QMessageBox::Critical;
    case TG_MB_ICON_QUESTION: return QMessageBox::Question;
    case TG_MB_ICON_EXCLAMATION: return QMessageBox::Warning;
    case TG_MB_ICON_INFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// The buttons of a set, in order, with the answer each gives.
std::vector<std::pair<QMessageBox::StandardButton, int>> ButtonsOf(int style) {
  using B = QMessageBox;
  switch (style & 0x0F) {
    case TG_MB_OK_CANCEL: return {{B::Ok, TG_ANSWER_OK}, {B::Cancel, TG_ANSWER_CANCEL}};
    case TG_MB_ABORT_RETRY_IGNORE:
      return {{B::Abort, TG_ANSWER_ABORT}, {B::Retry, TG_ANSWER_RETRY}, {B::Ignore, TG_ANSWER_IGNORE}};
    case TG_MB_YES_NO_CANCEL:
      return {{B::Yes, TG_ANSWER_YES}, {B::No, TG_ANSWER_NO}, {B::Cancel, TG_ANSWER_CANCEL}};
    case TG_MB_YES_NO: return {{B::Yes, TG_ANSWER_YES}, {B::No, TG_ANSWER_NO}};
    case TG_MB_RETRY_CANCEL: return {{B::Retry, TG_ANSWER_RETRY}, {B::Cancel, TG_ANSWER_CANCEL}};
    default: return {{B::Ok, TG_ANSWER_OK}};
  }
}

}  // namespace

int QtDesktop::MessageBox(const QString& title, const QString& text, int style) {
  QMessageBox box(IconOf(style), title, text, QMessageBox::NoButton, parent_);
  const auto buttons = ButtonsOf(style);
  for (const auto& [button, answer] : buttons) box.addButton(button);
  box.setDefaultButton(buttons.front().first);
  const int clicked = box.exec();
  for (const auto& [button, answer] : buttons) {
    if (clicked == button) return answer;
  }
  // Closed by the window frame or Escape: the box's cancelling answer.
  return buttons.size() == 1 ? TG_ANSWER_OK
                             : (style & 0x0F) == TG_MB_YES_NO ? TG_ANSWER_NO : TG_ANSWER_CANCEL;
}

QString QtDesktop::OpenFileName(const QString& filter) {
  return QFileDialog::getOpenFileName(parent_, QString(), QString(), filter);
}

void QtDesktop::ShowAbout(const QString& caption, const QString& version,
                          const QString& second_label) {
  QDialog dialog(parent_);
  dialog.setWindowTitle(caption);
  auto* layout = new QVBoxLayout(&dialog);
  auto* version_label = new QLabel(version, &dialog);
  version_label->setObjectName(QStringLiteral("Lbl_Ver"));
  layout->addWidget(version_label);
  layout->addWidget(new QLabel(second_label, &dialog));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("Cmd_OK"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.exec();
}

bool QtDesktop::OpenInEditor(const QString& path) {
  const std::optional<EditorCommand> command =
      EditorCommandFor(path, QProcessEnvironment::systemEnvironment(),
                       [](const QString& name) { return QStandardPaths::findExecutable(name); });
  return command && QProcess::startDetached(command->program, command->arguments);
}

}  // namespace tallydemo
