#include "app/trend/TrendLegend.h"

#include "app/trend/TrendPens.h"
#include "trend/TrendStore.h"

#include <QPainter>

namespace {
constexpr int LineSample = 26; // the piece of line before a quantity's name
constexpr int Gap = 12;

QString SeriesText(int series) {
  return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(TrendStore::SeriesName(series)),
                                       QString::fromLatin1(TrendStore::SeriesUnit(series)));
}

QString DriveText(int address) { return QStringLiteral("Drive %1:").arg(address); }
} // namespace

TrendLegend::TrendLegend(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TrendLegend"));
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void TrendLegend::SetDrives(std::vector<Drive> drives) {
  drives_ = std::move(drives);
  updateGeometry();
  update();
}

QStringList TrendLegend::Texts() const {
  QStringList texts;
  for (const Drive &drive : drives_) {
    QStringList shown;
    for (int series : drive.series)
      shown << SeriesText(series);
    texts << DriveText(drive.address) + QLatin1Char(' ') + shown.join(QStringLiteral(", "));
  }
  return texts;
}

std::vector<TrendLegend::Piece> TrendLegend::Laid(int width) const {
  std::vector<Piece> pieces;
  const QFontMetrics metrics = fontMetrics();
  const int line = metrics.height() + 4;
  int x = 0, y = 0;
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  for (int d = 0; d < static_cast<int>(drives_.size()); ++d) {
    // each drive starts a line of its own
    if (d > 0 || x > 0) {
      x = 0;
      y += line;
    }
    const int nameWidth =
        boldMetrics.horizontalAdvance(DriveText(drives_[static_cast<std::size_t>(d)].address));
    pieces.push_back({QRect(0, y, nameWidth, line), d, -1});
    x = nameWidth + Gap / 2;
    for (int series : drives_[static_cast<std::size_t>(d)].series) {
      const int w = LineSample + 4 + metrics.horizontalAdvance(SeriesText(series));
      if (x + w > width && x > nameWidth + Gap) {
        x = nameWidth + Gap / 2; // continues under the quantities, beside the name's column
        y += line;
      }
      pieces.push_back({QRect(x, y, w, line), d, series});
      x += w + Gap;
    }
  }
  return pieces;
}

int TrendLegend::heightForWidth(int width) const {
  const std::vector<Piece> pieces = Laid(width);
  return pieces.empty() ? 0 : pieces.back().at.bottom() + 2;
}

QSize TrendLegend::sizeHint() const { return {400, heightForWidth(width() > 0 ? width() : 400)}; }

void TrendLegend::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  QFont bold = font();
  bold.setBold(true);
  for (const Piece &piece : Laid(width())) {
    const Drive &drive = drives_[static_cast<std::size_t>(piece.drive)];
    const QColor color = TrendPens::DriveColor(drive.index);
    if (piece.series < 0) {
      painter.setFont(bold);
      painter.setPen(color);
      painter.drawText(piece.at, Qt::AlignLeft | Qt::AlignVCenter, DriveText(drive.address));
      painter.setFont(font());
      continue;
    }
    const int middle = piece.at.center().y();
    QPen pen = TrendPens::CurvePen(drive.index, piece.series);
    pen.setWidth(2); // thicker than the curve, so the style shows in so short a piece
    painter.setPen(pen);
    painter.drawLine(piece.at.left(), middle, piece.at.left() + LineSample, middle);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(piece.at.adjusted(LineSample + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     SeriesText(piece.series));
  }
}
