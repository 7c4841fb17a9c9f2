#include "demo/collection_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>

#include "demo/form_context.h"
#include "demo/form_widgets.h"
#include "demo/output_format_frame.h"
#include "demo/progress_bar_object.h"
#include "tallygate/host_services.h"

namespace tallydemo {
namespace {

const QString kWaiting =
    QStringLiteral("正在采集，如数据量大，可能要花较长的时间，请耐心等候!");

// The arrow with an hourglass, for as long as it lives.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// The description a call gave back, or the error it raised.
QString DescriptionOf(const Outcome& outcome, const Variant& description) {
  return outcome.ok() ? TextOf(description) : QString::fromStdString(outcome.description);
}

}  // namespace

CollectionPanel::CollectionPanel(FormContext& context, const OutputFormatFrame& format,
                                 QProgressBar* progress, QWidget* parent)
    : QGroupBox(QStringLiteral("数据采集"), parent), context_(context), format_(format),
      progress_(progress) {
  setObjectName(QStringLiteral("fraCollection"));
  year_check_ = new QCheckBox(QStringLiteral("采集时输出完整年份"), this);
  year_check_->setObjectName(QStringLiteral("YearCheck"));
  is_check_ = new QCheckBox(QStringLiteral("采集时输出十进制物理卡号"), this);
  is_check_->setObjectName(QStringLiteral("IsCheck"));
  sleep_date_ = MakeField(this, QStringLiteral("SleepDate"), QStringLiteral("2"));
  sleep_date_->setMaximumWidth(50);
  interval_ = MakeField(this, QStringLiteral("txtInterval"), QStringLiteral("24"));
  interval_->setMaximumWidth(50);

  auto* collect = MakeButton(this, QStringLiteral("Command4"), QStringLiteral("采集数据"));
  auto* names = MakeButton(this, QStringLiteral("Cmd_GetNameList"), QStringLiteral("采集发卡名单"));
  auto* browse_records =
      MakeButton(this, QStringLiteral("Command1"), QStringLiteral("浏览采集数据"));
  auto* browse_names = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("浏览发卡名单"));
  auto* verify = MakeButton(this, QStringLiteral("cmdCheckData"), QStringLiteral("校验数据"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(year_check_, 0, 0, 1, 2);
  grid->addWidget(is_check_, 1, 0, 1, 2);
  grid->addWidget(MakeLabel(this, QStringLiteral("lblSleepDate"), QStringLiteral("单条等待秒数：")),
                  2, 0);
  grid->addWidget(sleep_date_, 2, 1, Qt::AlignLeft);
  grid->addWidget(collect, 3, 0);
  grid->addWidget(browse_records, 3, 1);
  grid->addWidget(names, 4, 0);
  grid->addWidget(browse_names, 4, 1);
  grid->addWidget(verify, 5, 0);
  auto* interval_row = new QHBoxLayout;
  interval_row->addWidget(MakeLabel(this, QStringLiteral("lblInterval"), QStringLiteral("刷卡时间间隔：")));
  interval_row->addWidget(interval_);
  grid->addLayout(interval_row, 5, 1);

  context_.OnClick(collect, [this] { CollectRecords(); });
  context_.OnClick(names, [this] { CollectCardList(); });
  context_.OnClick(browse_records, [this] { Browse(kRecordFile); });
  context_.OnClick(browse_names, [this] { Browse(kNameListFile); });
  context_.OnClick(verify, [this] { Verify(); });
}

QString CollectionPanel::DataBaseForm(const QString& line) const {
  return tallydemo::DataBaseForm(line,
                                 format_.Layout(is_check_->isChecked(), year_check_->isChecked()));
}

void CollectionPanel::CollectRecords() {
  if (!context_.CheckedAddress()) return;
  const bool full_year = year_check_->isChecked();
  const QString out_path = context_.folder + QLatin1Char('/') + kRecordFile;
  {
    // Emptied first, so that a failed collection leaves nothing stale.
    QSaveFile out(out_path);
    if (!out.open(QIODevice::WriteOnly) || !out.commit()) {
      context_.SetStatus(QStringLiteral("采集不成功  ") + out.errorString());
      return;
    }
  }
  context_.SetStatus(kWaiting);
  const BusyCursor cursor;
  progress_->setValue(progress_->minimum());
  progress_->show();
  Variant description{""};
  Variant count{int32_t{0}};
  const tallygate::DispatchRef bar = MakeProgressBarObject(progress_);
  const Outcome outcome = context_.link->Call(
      "GatherData",
      {Text(context_.AddressText()), Text(context_.folder), Text(kOriginalRecordFile),
       Variant::Ref(description), Variant::Ref(count), Text(sleep_date_->text()),
       Variant(int32_t{is_check_->isChecked() ? 1 : 0}), Variant(full_year),
       bar ? Variant(bar.get()) : Variant::Missing()});
  const QString said = DescriptionOf(outcome, description);
  if (IsTrue(outcome)) {
    const int32_t collected = NumberOf(count).value_or(0);
    QString status = QStringLiteral(" 采集到的记录数为：%1  %2").arg(collected).arg(said);
    QString problem;
    if (collected > 0 && !Reformat(out_path, &problem)) status += QStringLiteral("  ") + problem;
    context_.SetStatus(status);
  } else {
    context_.SetStatus(QStringLiteral("采集不成功  ") + said);
  }
  progress_->hide();
}

bool CollectionPanel::Reformat(const QString& out_path, QString* problem) const {
  QFile in(context_.folder + QLatin1Char('/') + kOriginalRecordFile);
  if (!in.open(QIODevice::ReadOnly)) {
    *problem = in.errorString();
    return false;
  }
  QSaveFile out(out_path);
  if (!out.open(QIODevice::WriteOnly)) {
    *problem = out.errorString();
    return false;
  }
  while (!in.atEnd()) {
    QByteArray line = in.readLine();
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    out.write((DataBaseForm(QString::fromUtf8(line)) + QStringLiteral("\r\n")).toUtf8());
  }
  if (!out.commit()) {
    *problem = out.errorString();
    return false;
  }
  return true;
}

void CollectionPanel::CollectCardList() {
  const BusyCursor cursor;
  context_.SetStatus({});
  context_.SetStatus(kWaiting);
  Variant description{""};
  Variant count{int32_t{0}};
  const Outcome outcome = context_.link->Call(
      "GatherSendCardData",
      {Text(context_.AddressText()), Text(context_.folder), Text(kNameListFile),
       Variant::Ref(description), Variant::Ref(count), Text(sleep_date_->text()),
       Variant(int32_t{is_check_->isChecked() ? 1 : 0})});
  const QString said = DescriptionOf(outcome, description);
  if (IsTrue(outcome)) {
    context_.SetStatus(
        QStringLiteral("  采集到的记录数为：%1,%2").arg(NumberOf(count).value_or(0)).arg(said));
  } else {
    context_.SetStatus(QStringLiteral("采集不成功,") + said);
  }
}

void CollectionPanel::Browse(const QString& file_name) {
  const QString path = context_.folder + QLatin1Char('/') + file_name;
  if (!QFile::exists(path)) {
    context_.SetStatus(QStringLiteral("没有采集数据可浏览，请先采集。"));
    return;
  }
  if (!context_.desktop->OpenInEditor(path)) {
    context_.Message(QStringLiteral("无法启动文本编辑器：") + path, TG_MB_ICON_EXCLAMATION);
  }
}

void CollectionPanel::Verify() {
  if (!context_.CheckedAddress()) return;
  const bool full_year = year_check_->isChecked();
  const BusyCursor cursor;
  Variant description{""};
  const Outcome outcome = context_.link->Call(
      "CheckData", {Text(context_.AddressText()), Text(context_.folder), Text(kOriginalRecordFile),
                    Variant::Ref(description), Variant(int16_t{3}),
                    Variant(int32_t{is_check_->isChecked() ? 1 : 0}), Variant(full_year)});
  const QString said = DescriptionOf(outcome, description);
  const std::optional<int32_t> result = outcome.ok() ? NumberOf(outcome.result) : std::nullopt;
  if (result == 0) {
    context_.SetStatus(QStringLiteral("数据合法！"));
  } else if (result && *result >= 1 && *result <= 4) {
    context_.SetStatus(QStringLiteral("数据非法，") + said);
  } else {
    context_.SetStatus(QStringLiteral("校验数据出错，") + said);
  }
}

}  // namespace tallydemo
