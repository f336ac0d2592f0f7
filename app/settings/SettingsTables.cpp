// Loading the settings tables at the first activation and saving them when
// the main window closes.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/settings/PortList.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "protocol/HexText.h"
#include "settings/DataFolder.h"
#include "settings/LinePreferences.h"
#include "settings/Preferences.h"
#include "settings/SettingsRecords.h"
#include "settings/SettingsReport.h"
#include "settings/TableStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

#include <algorithm>
#include <stdexcept>

namespace {
const QString CompleteOnReplyKey = QStringLiteral("Line/CompleteOnReply");
const QString Rs485Key = QStringLiteral("Line/Rs485");
using namespace LinePreferences;

TClickEdit *CommonParameterBox(TForm1 *form, int i) {
  TClickEdit *const boxes[6] = {form->Edit9,  form->Edit10, form->Edit11,
                                form->Edit12, form->Edit13, form->Edit14};
  return boxes[i];
}

QString CellText(const QTableWidget *grid, int row, int column) {
  const QTableWidgetItem *item = grid->item(row, column);
  return item ? item->text() : QString();
}

void SetCellText(QTableWidget *grid, int row, int column, const QString &text) {
  if (QTableWidgetItem *item = grid->item(row, column))
    item->setText(text);
  else
    grid->setItem(row, column, new QTableWidgetItem(text));
}

// Selects an item of a list; an index the list does not have leaves it as it
// is (a damaged table must not blank a control).
void SelectItem(QComboBox *box, int index) {
  if (index >= 0 && index < box->count())
    box->setCurrentIndex(index);
}
// A box saved into a character field takes no more than the field holds:
// a longer text would be refused at exit.
void LimitToField(QLineEdit *box, const QHash<QString, int> &widths, const char *field) {
  if (const int width = widths.value(QString::fromLatin1(field)); width > 0)
    box->setMaxLength(width);
}

// Reads one settings table with `read`. Values that cannot be read are
// listed for the user with the table's name; the table is copied aside first,
// as the save at exit writes the values in use over the unread ones.
template <typename Read> void ReadSettingsTable(TForm1 &form, const QString &table, Read read) {
  QString report = ReadSettingsTable(*form.ADOQuery1, table, read);
  if (report.isEmpty())
    return;
  const QString copy = KeepCopyOfTable(AppPaths::DataFolder() + table);
  if (!copy.isEmpty())
    report += QStringLiteral(" (the table as it was is kept as ") + copy + ')';
  form.SettingsLoadProblems << report;
}

} // namespace

void TForm1::LoadSettings() {
  LoadProtocolSettings();
  LoadDriveSettings();
  LoadCommandList();
}

void TForm1::LoadProtocolSettings() {
  TProtocolSettings s; // the delivered values, used for what cannot be read
  QHash<QString, int> widths;
  ReadSettingsTable(*this, QStringLiteral("com_pro.dbf"), [&](QStringList &problems) {
    s = ReadProtocolSettings(*ADOQuery1, problems);
    widths = CharacterFieldWidths(*ADOQuery1, QStringLiteral("com_pro.dbf"));
  });
  LimitToField(SeriesStart, widths, "TX710_B");
  LimitToField(SeriesStop, widths, "TX820_W");
  LimitToField(ArbitraryNum, widths, "TX820");
  LimitToField(ProtocolSet->ComPort->lineEdit(), widths, "TX820"); // a typed port
  if (!s.comPortName.isEmpty())
    ProtocolSet->ComPort->setEditText(s.comPortName);
  else
    SelectItem(ProtocolSet->ComPort, s.comPort);
  SeriesStart->setText(s.seriesStart);
  SeriesStop->setText(s.seriesStop);
  ArbitraryNum->setText(s.arbitraryNum);
  StoredDecimalSeparator = s.storedDecimalSeparator;
  const Preferences preferences(AppPaths::DataFolder());
  SelectItem(ProtocolSet->ModbusMode, ModeIndex(preferences, s.modbusMode));
  SelectItem(ProtocolSet->UserBaud, s.userBaud);
  SelectItem(ProtocolSet->UserDataBit, s.userDataBit);
  SelectItem(ProtocolSet->UserParity, s.userParity);
  SelectItem(ProtocolSet->UserStopBit, s.userStopBit);
  TimeIntervalMs = s.timeIntervalMs;
  TimeoutMs = s.timeoutMs;
  UErrorCheck->setChecked(s.errorOccur);
  UTimeoutCheck->setChecked(s.timeOut);
  UAddChecksum->setChecked(s.addChecksum);
  ProtocolSet->CompleteOnReply->setChecked(preferences.Bool(CompleteOnReplyKey, false));
  ProtocolSet->Rs485->setChecked(preferences.Bool(Rs485Key, false));
  // A word the list does not hold reads as delivered.
  const int echo = ProtocolSet->Echo->findText(EchoWord(preferences));
  ProtocolSet->Echo->setCurrentIndex(std::max(echo, 0));
}

void TForm1::LoadDriveSettings() {
  TDriveSettings s;
  s.machineId = MachineID->currentText();
  for (int i = 0; i < 6; ++i)
    s.commonParameters[static_cast<std::size_t>(i)] = CommonParameterBox(this, i)->text();
  QHash<QString, int> widths;
  ReadSettingsTable(*this, QStringLiteral("dspara.dbf"), [&](QStringList &problems) {
    s = ReadDriveSettings(*ADOQuery1, problems);
    widths = CharacterFieldWidths(*ADOQuery1, QStringLiteral("dspara.dbf"));
  });
  if (MachineID->lineEdit())
    LimitToField(MachineID->lineEdit(), widths, "SLAVE_ADR");
  for (int i = 0; i < 6; ++i)
    LimitToField(CommonParameterBox(this, i), widths, CommonParameterFields[i]);
  SelectItem(DriveSeries, s.seriesIndex);
  SeriesRow = s.seriesIndex + 1;
  MachineID->setEditText(s.machineId);
  for (int i = 0; i < 6; ++i)
    CommonParameterBox(this, i)->setText(s.commonParameters[static_cast<std::size_t>(i)]);
}

void TForm1::LoadCommandList() {
  std::vector<TCommandRow> rows;
  ReadSettingsTable(*this, QStringLiteral("usercmd.dbf"),
                    [&](QStringList &problems) { rows = ReadCommandList(*ADOQuery1, problems); });
  for (const TCommandRow &row : rows) {
    if (row.row < 1)
      continue; // row 0 holds the captions
    if (row.row >= StringGrid1->rowCount())
      StringGrid1->setRowCount(row.row + 1);
    for (int c = 0; c < 6; ++c)
      SetCellText(StringGrid1, row.row, c, row.cells[static_cast<std::size_t>(c)]);
  }
  // The last of the three steps reports every table that could not be read,
  // in one message.
  if (!SettingsLoadProblems.isEmpty()) {
    Dialogs::ShowMessage(SettingsReportIntro + '\n' + SettingsLoadProblems.join('\n'));
    SettingsLoadProblems.clear();
  }
}

namespace {
const QStringList SettingsFiles = {QStringLiteral("usercmd.dbf"), QStringLiteral("com_pro.dbf"),
                                   QStringLiteral("dspara.dbf"), QStringLiteral("preferences.ini")};
} // namespace

bool TForm1::FormCloseQuery() {
  // Ended before the settings were loaded: the controls hold nothing of the
  // user's, and saving them would overwrite the stored settings.
  if (EndingWithoutQuestions && !Activated)
    return true;
  QStringList reasons;
  QStringList files = SettingsFiles;
  if (EndingWithoutQuestions)
    files.removeAll(QStringLiteral("dspara.dbf")); // as the answer Cancel
  QStringList failed = SaveSettings(files, !EndingWithoutQuestions, reasons);
  while (!failed.isEmpty()) {
    const QString text = QStringLiteral("The settings could not be saved: ") + reasons.join('\n');
    if (EndingWithoutQuestions) {
      // Nobody is there to answer (a logout, a shutdown).
      qWarning("%s", qPrintable(text));
      return true;
    }
    switch (Dialogs::Choose(
        QStringLiteral("Settings not saved"),
        text + QStringLiteral("\n\nTry again, close without saving them, or go back to "
                              "the window?"),
        {QStringLiteral("Retry"), QStringLiteral("Close without saving"), QStringLiteral("Cancel")})) {
    case 0:
      reasons.clear();
      failed = SaveSettings(failed, false, reasons);
      break;
    case 1:
      return true;
    default:
      return false;
    }
  }
  return true;
}

QStringList TForm1::SaveSettings(const QStringList &files, bool askAboutDrive, QStringList &reasons) {
  // Rows count as used when any column but "Select" holds text.
  std::vector<TCommandRow> rows;
  for (int r = 1; r < StringGrid1->rowCount(); ++r) {
    bool used = false;
    for (int c = 1; c < 6 && !used; ++c)
      used = !CellText(StringGrid1, r, c).isEmpty();
    if (!used)
      continue;
    TCommandRow row;
    row.row = r;
    for (int c = 0; c < 6; ++c)
      row.cells[static_cast<std::size_t>(c)] = CellText(StringGrid1, r, c);
    rows.push_back(row);
  }

  TProtocolSettings protocol;
  // A listed port is stored by its item index; a typed one by its name.
  const QString port = ProtocolSet->ComPort->currentText();
  protocol.comPort = ProtocolSet->ComPort->findText(port, Qt::MatchFixedString | Qt::MatchCaseSensitive);
  if (protocol.comPort < 0 || protocol.comPort >= PortList::ListedComPorts)
    protocol.comPort = -1;
  if (protocol.comPort < 0)
    protocol.comPortName = port;
  protocol.seriesStart = SeriesStart->text();
  protocol.seriesStop = SeriesStop->text();
  protocol.arbitraryNum = ArbitraryNum->text();
  protocol.storedDecimalSeparator = QString::fromStdString(LocaleDecimalSeparator);
  protocol.modbusMode = std::min(ProtocolSet->ModbusMode->currentIndex(), RtuModeIndex);
  protocol.userBaud = ProtocolSet->UserBaud->currentIndex();
  protocol.userDataBit = ProtocolSet->UserDataBit->currentIndex();
  protocol.userParity = ProtocolSet->UserParity->currentIndex();
  protocol.userStopBit = ProtocolSet->UserStopBit->currentIndex();
  protocol.timeIntervalMs = TimeIntervalMs;
  protocol.timeoutMs = TimeoutMs;
  protocol.errorOccur = UErrorCheck->isChecked();
  protocol.timeOut = UTimeoutCheck->isChecked();
  protocol.addChecksum = UAddChecksum->isChecked();

  // Each table is written whole or not at all, and one that fails does not
  // keep the others from being saved.
  QStringList failed;
  const auto save = [&](const QString &file, const auto &write) {
    if (!files.contains(file))
      return;
    try {
      write();
    } catch (const std::exception &error) {
      ADOQuery1->Close();
      failed << file;
      reasons << file + QStringLiteral(": ") + QString::fromLocal8Bit(error.what());
    }
  };
  bool connected = true;
  try {
    ADOConnection1->Reconnect(AppPaths::DataFolder());
  } catch (const std::exception &error) {
    connected = false;
    reasons << QStringLiteral("database1: ") + QString::fromLocal8Bit(error.what());
  }
  const auto saveTable = [&](const QString &table, const auto &write) {
    if (connected)
      save(table, write);
    else if (files.contains(table))
      failed << table;
  };
  saveTable(QStringLiteral("usercmd.dbf"), [&] { WriteCommandList(*ADOQuery1, rows); });
  saveTable(QStringLiteral("com_pro.dbf"), [&] { WriteProtocolSettings(*ADOQuery1, protocol); });
  if (files.contains(QStringLiteral("dspara.dbf")) &&
      (!askAboutDrive ||
       Dialogs::OkCancel(QStringLiteral("Confirm box"), QStringLiteral("Do you want to save changes?")))) {
    TDriveSettings drive;
    drive.machineId = MachineID->currentText();
    for (int i = 0; i < 6; ++i)
      drive.commonParameters[static_cast<std::size_t>(i)] = CommonParameterBox(this, i)->text();
    saveTable(QStringLiteral("dspara.dbf"), [&] { WriteDriveSettings(*ADOQuery1, SeriesRow, drive); });
  }
  save(QStringLiteral("preferences.ini"), [&] {
    if (const QString problem = SaveLinePreferences(); !problem.isEmpty())
      throw std::runtime_error(problem.toStdString());
  });
  return failed;
}

// The file is written only when a value changed, so that a program left at
// the delivered values leaves no file behind. Returns what failed, if anything.
QString TForm1::SaveLinePreferences() {
  Preferences preferences(AppPaths::DataFolder());
  bool changed = false;
  for (const auto &[key, box] : {std::pair{CompleteOnReplyKey, ProtocolSet->CompleteOnReply},
                                 std::pair{Rs485Key, ProtocolSet->Rs485}}) {
    if (preferences.Bool(key, false) == box->isChecked())
      continue;
    preferences.Set(key, box->isChecked());
    changed = true;
  }
  const QString framing = ProtocolSet->ModbusMode->currentIndex() == TcpModeIndex ? TcpFraming : QString();
  if (preferences.Text(FramingKey, "") != framing) {
    preferences.Set(FramingKey, framing);
    changed = true;
  }
  const QString echo = ProtocolSet->Echo->currentText();
  if (EchoWord(preferences) != echo) {
    preferences.Set(EchoKey, echo);
    changed = true;
  }
  if (!changed)
    return {};
  if (!preferences.Save())
    return QStringLiteral("the file could not be written");
  return {};
}
