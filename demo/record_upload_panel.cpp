#include "demo/record_upload_panel.h"

#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "tallygate/host_services.h"

namespace tallydemo {
namespace {

// A link-like label that runs `action` when clicked.
QLabel* MakeLink(QWidget* parent, const QString& name, const QString& caption) {
  QLabel* link = MakeLabel(parent, name, QStringLiteral("<a href=\"#\">%1</a>").arg(caption));
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  return link;
}

}  // namespace

RecordUploadPanel::RecordUploadPanel(FormContext& context, QWidget* parent)
    : QFrame(parent), context_(context) {
  setObjectName(QStringLiteral("Picture1"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(2);
  setAutoFillBackground(true);

  auto* title = MakeLabel(this, QStringLiteral("lblPicture1Title"), QStringLiteral("下发打卡数据"));
  title->setStyleSheet(QStringLiteral("font-weight: bold;"));
  // autoRaise draws the button's frame only while the pointer is over it.
  auto* close = new QToolButton(this);
  close->setObjectName(QStringLiteral("cmdClosePicture1"));
  close->setText(QStringLiteral("×"));
  close->setAutoRaise(true);

  address_ = MakeField(this, QStringLiteral("Text4"), {}, 3);
  address_->setMaximumWidth(50);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("List1"));
  list_->setSelectionMode(QAbstractItemView::MultiSelection);
  count_ = MakeLabel(this, QStringLiteral("DataCount"), QStringLiteral("0"));
  auto* select_all = MakeLink(this, QStringLiteral("lblSelectAll"), QStringLiteral("全选"));
  auto* clear_all = MakeLink(this, QStringLiteral("lblClearAll"), QStringLiteral("全清"));
  auto* load = MakeButton(this, QStringLiteral("Command18"), QStringLiteral("读入数据"));
  auto* send_many = MakeButton(this, QStringLiteral("Command19"), QStringLiteral("发多条数据"));
  auto* back = MakeButton(this, QStringLiteral("Command20"), QStringLiteral("返回"));

  auto* single = MakeFrame(this, QStringLiteral("fraSingleRecord"), QStringLiteral("单条数据发送"));
  record_ = MakeField(single, QStringLiteral("Text1"), {}, 20);
  auto* send_one = MakeButton(single, QStringLiteral("Command21"), QStringLiteral("发单条数据"));
  auto* single_layout = new QVBoxLayout(single);
  single_layout->addWidget(MakeLabel(single, {}, QStringLiteral("单条数据格式如下：")));
  single_layout->addWidget(MakeLabel(single, {}, QStringLiteral("0079A785070927093628")));
  auto* explanation = MakeLabel(
      single, {}, QStringLiteral("说明：前八位（0079A785）为物理卡号;（070927）为日期（093628）为时间。"));
  explanation->setWordWrap(true);
  single_layout->addWidget(explanation);
  auto* single_row = new QHBoxLayout;
  single_row->addWidget(record_);
  single_row->addWidget(send_one);
  single_layout->addLayout(single_row);

  auto* layout = new QGridLayout(this);
  auto* title_row = new QHBoxLayout;
  title_row->addWidget(title);
  title_row->addStretch();
  title_row->addWidget(close);
  layout->addLayout(title_row, 0, 0, 1, 4);
  layout->addWidget(MakeLabel(this, {}, QStringLiteral("考勤机地址：")), 1, 0);
  layout->addWidget(address_, 1, 1);
  layout->addWidget(MakeLabel(this, {}, QStringLiteral("数据列表：")), 2, 0);
  layout->addWidget(count_, 2, 1);
  layout->addWidget(select_all, 2, 2);
  layout->addWidget(clear_all, 2, 3);
  layout->addWidget(list_, 3, 0, 1, 4);
  layout->addWidget(load, 4, 0);
  layout->addWidget(send_many, 4, 1, 1, 2);
  layout->addWidget(back, 4, 3);
  layout->addWidget(single, 5, 0, 1, 4);
  setFixedWidth(420);
  hide();

  connect(close, &QToolButton::clicked, this, &QWidget::hide);
  connect(back, &QPushButton::clicked, this, &QWidget::hide);
  connect(select_all, &QLabel::linkActivated, this, [this] { SelectAll(true); });
  connect(clear_all, &QLabel::linkActivated, this, [this] { SelectAll(false); });
  context_.OnClick(load, [this] { LoadData(); });
  context_.OnClick(send_many, [this] { SendSelected(); });
  context_.OnClick(send_one, [this] { SendOne(); });
}

void RecordUploadPanel::Open(const QString& address) {
  adjustSize();
  const int room = parentWidget() != nullptr ? parentWidget()->height() - height() : 0;
  move(0, std::max(0, room / 2));
  show();
  raise();
  address_->setText(address);
}

void RecordUploadPanel::SelectAll(bool selected) {
  for (int i = 0; i < list_->count(); ++i) list_->item(i)->setSelected(selected);
}

void RecordUploadPanel::LoadData() {
  const QString name = context_.desktop->OpenFileName(QStringLiteral("Text (*.txt)"));
  if (name.size() <= 2) return;
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    context_.Message(file.errorString(), TG_MB_ICON_EXCLAMATION);
    return;
  }
  list_->clear();
  while (!file.atEnd()) {
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    list_->addItem(QString::fromUtf8(line));
    list_->item(list_->count() - 1)->setSelected(true);
    count_->setText(QString::number(list_->count()));
  }
}

void RecordUploadPanel::SendSelected() {
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    if (!item->isSelected()) continue;
    const QString line = item->text().trimmed();
    QThread::msleep(5);
    const Outcome outcome = context_.link->Call(
        "SendRecordToMachine", {Text(address_->text()), Text(line.mid(3, 8)), Text(line.mid(11, 12)),
                                Text(QStringLiteral("1")), Text(QStringLiteral("2"))});
    if (IsTrue(outcome)) {
      context_.SetStatus(QStringLiteral("第：%1条发送成功").arg(i));
      item->setSelected(false);
    } else {
      context_.SetStatus(FormContext::Failure(QStringLiteral("第：%1条发送失败").arg(i), outcome));
    }
  }
}

void RecordUploadPanel::SendOne() {
  const QString record = record_->text();
  if (record.size() != 20) {
    context_.Message(QStringLiteral("输入数据格式不正确，请对照上面的说明重新输入！"), TG_MB_OK,
                     QStringLiteral("温馨提示"));
    return;
  }
  const Outcome outcome = context_.link->Call(
      "SendRecordToMachine", {Text(address_->text()), Text(record.left(8)), Text(record.mid(8, 12)),
                              Text(QStringLiteral("1")), Text(QStringLiteral("2"))});
  context_.SetStatus(IsTrue(outcome) ? QStringLiteral("发送成功")
                                     : FormContext::Failure(QStringLiteral("发送失败"), outcome));
}

}  // namespace tallydemo
