#pragma once

#include "params/ParameterCompare.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

// "Compare Parameters": the open function table's values as last read from
// the drive against its defaults or against another function table file,
// only the differences or every parameter with the differences marked, and
// the comparison saved as a CSV file.
class TCompareWindow : public QDialog {
  Q_OBJECT
public:
  // `folder` and `file` name the open function table; `decimals` gives the
  // decimals of a code; `separator` is the one values are shown with.
  TCompareWindow(const QString &folder, const QString &file, ParameterCompare::DecimalsOf decimals,
                 const QString &separator, QWidget *parent = nullptr);

  QRadioButton *WithDefaults = nullptr;
  QRadioButton *WithFile = nullptr;
  QPushButton *ChooseFile = nullptr;
  QLabel *OtherFile = nullptr;
  QCheckBox *OnlyDifferences = nullptr;
  QTableWidget *Rows = nullptr;
  QLabel *Summary = nullptr;
  QPushButton *ExportCsv = nullptr;
  QPushButton *Close = nullptr;

  // Reads both sides again and shows the comparison.
  void Refresh();
  const std::vector<ParameterCompare::Row> &Compared() const { return compared_; }

private:
  void ChooseOtherFile();
  void SaveCsv();
  void ShowRows();
  QString ThereTitle() const;

  QString folder_, file_, otherPath_, separator_;
  ParameterCompare::DecimalsOf decimals_;
  std::vector<ParameterCompare::Row> compared_;
  std::vector<ParameterCompare::Row> shown_;
};
