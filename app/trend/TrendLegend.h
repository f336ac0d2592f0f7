#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <vector>

// The trend's legend under its chart: per drive its name in its colour, and
// for each quantity shown a piece of its line with the quantity's name and
// unit ("Frequency (Hz)"). Entries flow onto further lines when the window
// is narrow, so none loses its text.
class TrendLegend : public QWidget {
  Q_OBJECT
public:
  struct Drive {
    int address = 0;
    int index = 0;           // its place in the drive list: its colour
    std::vector<int> series; // the quantities shown
  };

  explicit TrendLegend(QWidget *parent = nullptr);

  void SetDrives(std::vector<Drive> drives);
  // What the legend reads, one text a drive: "Drive 1: Frequency (Hz), ...".
  QStringList Texts() const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  struct Piece {
    QRect at;
    int drive = 0;   // index into drives_
    int series = -1; // -1: the drive's name
  };
  std::vector<Piece> Laid(int width) const;
  std::vector<Drive> drives_;
};
