#include "app/drive/StatusFreshness.h"

#include "app/MainWindow.h"
#include "protocol/ConvertError.h"
#include "session/DriveStatusModel.h"
#include "session/PeriodScan.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int RefreshMs = 250;

QString Seconds(std::int64_t ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1); }
} // namespace

StatusFreshness::StatusFreshness(TForm1 &form) : QObject(&form), form_(form), timer_(new QTimer(this)) {
  timer_->setInterval(RefreshMs);
  connect(timer_, &QTimer::timeout, this, &StatusFreshness::Refresh);
  connect(form.DriveStatus, &DriveStatusModel::StatusDecoded, this, &StatusFreshness::Taken);
  connect(form.Scan, &PeriodScan::RunningChanged, this, &StatusFreshness::ScanRunning);
  connect(form.MachineID, &QComboBox::currentTextChanged, this, &StatusFreshness::Refresh);
  Refresh();
}

void StatusFreshness::Taken(const DriveStatusReading &reading) {
  Replies &replies = replies_[reading.values.address];
  if (scanning_ && replies.last > 0)
    replies.every = reading.arrivedMs - replies.last;
  replies.last = reading.arrivedMs;
  if (!live_)
    Refresh();
}

void StatusFreshness::ScanRunning(bool running) {
  scanning_ = running;
  // the pace of one scan says nothing of the next
  for (auto &entry : replies_)
    entry.second.every = 0;
  if (running)
    timer_->start();
  else
    timer_->stop();
  Refresh();
}

void StatusFreshness::Refresh() {
  int drive = -1;
  TryStrToInt(form_.MachineID->currentText().toStdString(), drive);
  const auto found = replies_.find(drive);
  if (found == replies_.end() || found->second.last == 0) {
    ShowLive(false, QStringLiteral("No status reply from drive %1 yet").arg(form_.MachineID->currentText()));
    ShowAchievedPeriod();
    return;
  }
  const std::int64_t age = QDateTime::currentMSecsSinceEpoch() - found->second.last;
  const QString said =
      QStringLiteral("Last status reply from drive %1: %2 s ago").arg(drive).arg(Seconds(age));
  if (!scanning_) {
    ShowLive(false, said + QStringLiteral(" (the scan is paused)"));
    ShowAchievedPeriod();
    return;
  }
  // a round: the period the drive was read at, or, before a second reply,
  // the period asked for over the drives of the scan
  const std::int64_t round = std::max<std::int64_t>(found->second.every, form_.Scan->PeriodMs());
  ShowLive(age <= 2 * round + RefreshMs, said);
  ShowAchievedPeriod();
}

void StatusFreshness::ShowLive(bool live, const QString &age) {
  live_ = live;
  // greyed by its colours rather than disabled: the values can still be
  // selected and copied
  QWidget *motorStatus = form_.UoutFreq->parentWidget();
  QPalette palette = motorStatus->palette();
  for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText}) {
    const QColor color = QApplication::palette().color(live ? QPalette::Active : QPalette::Disabled, role);
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
  }
  motorStatus->setPalette(palette);
  const QString tip = live ? QString() : age;
  for (QWidget *shown : motorStatus->findChildren<QWidget *>())
    if (shown->toolTip() != tip)
      shown->setToolTip(tip);
  if (motorStatus->toolTip() != tip)
    motorStatus->setToolTip(tip);
  for (TShape *lamp : {form_.UrunShape, form_.UstopShape, form_.UfwdShape, form_.UrevShape, form_.UjogShape,
                       form_.UfaultShape}) {
    lamp->SetFaded(!live);
    lamp->setToolTip(tip);
  }
}

void StatusFreshness::ShowAchievedPeriod() {
  std::int64_t slowest = 0;
  if (scanning_)
    for (const auto &entry : replies_)
      slowest = std::max(slowest, entry.second.every);
  const QString tip =
      slowest > 0 ? QStringLiteral("Each drive of the scan is read every %1 ms").arg(slowest) : QString();
  if (form_.ScanPeriod->toolTip() != tip)
    form_.ScanPeriod->setToolTip(tip);
  if (slowest > 0)
    form_.ScanPeriodRange->setText(QStringLiteral("(Achieved: every %1 ms per drive)").arg(slowest));
  else
    form_.ShowScanPeriodRange();
}
