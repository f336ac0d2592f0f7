#pragma once

#include <QMainWindow>

class QAction;
class QTableWidget;
struct DriveStatusTexts;

// "Motor Parameters Display": the motor status table, one row per drive
// address 1 to 247 under a title row. The status replies of the period scan
// fill it whether it is shown or not; it lives for the whole run and only
// hides when closed.
class TUmotorPara : public QMainWindow {
  Q_OBJECT
public:
  static constexpr int ColumnCount = 12; // the columns that are saved
  // Per-drive counts of the exchanges since the scan started, shown after
  // the saved columns and not saved with them.
  static constexpr int CountColumnCount = 4;
  static constexpr int GridColumnCount = ColumnCount + CountColumnCount;
  static constexpr int RowCount = 248; // title row + addresses 1..247
  static constexpr int RowHeight = 24;

  enum Column {
    AddressColumn = 0,
    FrequencyColumn = 1,
    OutputVoltageColumn = 2,
    OutputCurrentColumn = 3,
    SpeedColumn = 4,
    DcVoltageColumn = 5,
    MachineStatusColumn = 9,
    RemarkColumn = 11,
    RequestsColumn = 12,
    AcceptedColumn = 13,
    ErrorsColumn = 14,
    TimeoutsColumn = 15,
  };

  explicit TUmotorPara(QWidget *parent = nullptr);

  QTableWidget *StringGrid1 = nullptr;
  QAction *save1 = nullptr;
  QAction *Exit1 = nullptr;

  // Writes the column titles and the addresses.
  void FormActivate();
  // Asks for a file name and writes the table to it as text.
  void save1Click();
  void Exit1Click();

  QString Cell(int row, int column) const;
  void SetCell(int row, int column, const QString &text);
  // The status a drive's reply told, in the drive's row.
  void ShowDriveStatus(const DriveStatusTexts &status);

protected:
  bool event(QEvent *event) override;

private:
  int FitColumns(); // to their titles and the screen; returns the table's width
};
