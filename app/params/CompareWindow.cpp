#include "app/params/CompareWindow.h"

#include "app/Dialogs.h"
#include "app/ScreenFit.h"
#include "base/AppPaths.h"
#include "settings/Preferences.h"
#include "settings/TableStore.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

namespace {
const QString TableFilter = QStringLiteral("dBASE File(*.dbf;*DBF)|*.dbf;*DBF");
const QString CsvFilter = QStringLiteral("CSV File(*.csv)|*.csv");
const QColor DifferenceColor(255, 228, 196);
const QString CompareFileKey = QStringLiteral("Parameters/CompareFile");
} // namespace

TCompareWindow::TCompareWindow(const QString &folder, const QString &file,
                               ParameterCompare::DecimalsOf decimals, const QString &separator,
                               QWidget *parent)
    : QDialog(parent), folder_(folder), file_(file), separator_(separator), decimals_(std::move(decimals)) {
  setWindowTitle(QStringLiteral("Compare Parameters"));
  setModal(true);
  setAttribute(Qt::WA_DeleteOnClose);

  WithDefaults = new QRadioButton(QStringLiteral("Defaults (DEFAULT)"), this);
  WithFile = new QRadioButton(QStringLiteral("Function table file"), this);
  WithDefaults->setChecked(true);
  ChooseFile = new QPushButton(QStringLiteral("Choose..."), this);
  OtherFile = new QLabel(this);
  OnlyDifferences = new QCheckBox(QStringLiteral("Only differences"), this);
  OnlyDifferences->setChecked(true);
  Rows = new QTableWidget(0, 7, this);
  Rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Rows->setSelectionBehavior(QAbstractItemView::SelectRows);
  Rows->verticalHeader()->hide();
  Rows->verticalHeader()->setDefaultSectionSize(20);
  Rows->horizontalHeader()->setStretchLastSection(true);
  Summary = new QLabel(this);
  Summary->setWordWrap(true);
  ExportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
  Close = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton *button : {ChooseFile, ExportCsv, Close})
    button->setAutoDefault(false);

  auto *choice = new QHBoxLayout;
  choice->addWidget(new QLabel(QStringLiteral("Compare with:"), this));
  choice->addWidget(WithDefaults);
  choice->addWidget(WithFile);
  choice->addWidget(ChooseFile);
  choice->addWidget(OtherFile, 1);
  choice->addWidget(OnlyDifferences);
  auto *buttons = new QHBoxLayout;
  buttons->addWidget(Summary, 1);
  buttons->addWidget(ExportCsv);
  buttons->addWidget(Close);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(choice);
  layout->addWidget(Rows, 1);
  layout->addLayout(buttons);
  resize(820, 520);
  ScreenFit::KeepOnScreen(this);

  connect(WithDefaults, &QRadioButton::toggled, this, [this] { Refresh(); });
  connect(ChooseFile, &QPushButton::clicked, this, [this] { ChooseOtherFile(); });
  connect(OnlyDifferences, &QCheckBox::toggled, this, [this] { ShowRows(); });
  connect(ExportCsv, &QPushButton::clicked, this, [this] { SaveCsv(); });
  connect(Close, &QPushButton::clicked, this, &QDialog::accept);
  // the file compared with last time, while it is still there
  const QString remembered = Preferences(AppPaths::DataFolder()).Text(CompareFileKey, QString());
  if (!remembered.isEmpty() && QFileInfo(remembered).isFile()) {
    otherPath_ = remembered;
    OtherFile->setText(QFileInfo(remembered).fileName());
  }
  Refresh();
}

QString TCompareWindow::ThereTitle() const {
  if (WithDefaults->isChecked())
    return QStringLiteral("DEFAULT");
  return otherPath_.isEmpty() ? QStringLiteral("(no file)") : QFileInfo(otherPath_).fileName();
}

void TCompareWindow::ChooseOtherFile() {
  const QString path =
      Dialogs::GetOpenFileName(QStringLiteral("Compare with a function table"), TableFilter, folder_);
  if (path.isEmpty())
    return;
  otherPath_ = path;
  OtherFile->setText(QFileInfo(path).fileName());
  Preferences preferences(AppPaths::DataFolder());
  preferences.Set(CompareFileKey, path);
  if (!preferences.Damaged())
    preferences.Save(); // a choice not kept is asked for again next time, nothing worse
  if (WithFile->isChecked())
    Refresh();
  else
    WithFile->setChecked(true); // refreshes through the other button's toggle
}

void TCompareWindow::Refresh() {
  compared_.clear();
  QString problem;
  try {
    const std::vector<ParameterCompare::Record> table = ParameterCompare::ReadTable(folder_, file_);
    if (WithDefaults->isChecked()) {
      compared_ = ParameterCompare::WithDefaults(table, decimals_, separator_);
    } else if (!otherPath_.isEmpty()) {
      const QFileInfo other(otherPath_);
      compared_ = ParameterCompare::WithSet(
          table, ParameterCompare::ReadTable(other.absolutePath() + '/', other.fileName()), decimals_,
          separator_);
    } else {
      problem = QStringLiteral("Choose a function table file to compare with.");
    }
  } catch (const std::exception &error) {
    problem = QStringLiteral("The table cannot be compared: ") + QString::fromUtf8(error.what());
  }
  ShowRows();
  if (!problem.isEmpty())
    Summary->setText(problem);
}

void TCompareWindow::ShowRows() {
  shown_.clear();
  for (const ParameterCompare::Row &row : compared_)
    if (!OnlyDifferences->isChecked() || ParameterCompare::IsDifference(row.kind))
      shown_.push_back(row);
  Rows->setHorizontalHeaderLabels(
      {"CODE", "NAME", "This table (NOWDATA)", ThereTitle(), "MIN", "MAX", "Result"});
  Rows->setRowCount(static_cast<int>(shown_.size()));
  for (int r = 0; r < static_cast<int>(shown_.size()); ++r) {
    const ParameterCompare::Row &row = shown_[static_cast<std::size_t>(r)];
    const QStringList cells{
        row.code, row.name, row.here, row.there, row.min, row.max, ParameterCompare::KindText(row.kind)};
    for (int c = 0; c < cells.size(); ++c) {
      auto *item = new QTableWidgetItem(cells[c]);
      if (ParameterCompare::IsDifference(row.kind))
        item->setBackground(DifferenceColor);
      Rows->setItem(r, c, item);
    }
  }
  // Narrow enough that the result stays in view, yet each title whole in the
  // font in use.
  const int widths[] = {55, 190, 110, 110, 80, 80};
  const QFontMetrics metrics = Rows->horizontalHeader()->fontMetrics();
  for (int c = 0; c < 6; ++c) {
    const int title =
        metrics.horizontalAdvance(Rows->horizontalHeaderItem(c)->text()) + 2 * metrics.averageCharWidth();
    Rows->setColumnWidth(c, std::max(widths[c], title));
  }
  Summary->setText(ParameterCompare::Summary(ParameterCompare::Count(compared_)));
}

void TCompareWindow::SaveCsv() {
  QString path = Dialogs::GetSaveFileName(QStringLiteral("Export the comparison"),
                                          QStringLiteral("compare.csv"), CsvFilter);
  if (path.isEmpty())
    return;
  if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
    path += QLatin1String(".csv");
  QSaveFile file(path); // an earlier file stays whole should the write fail
  const QByteArray csv = ParameterCompare::ToCsv(shown_, "This table (NOWDATA)", ThereTitle()).toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(csv) != csv.size() ||
      !file.commit()) {
    Dialogs::ShowMessage("The comparison could not be saved in " + path + ": " + file.errorString());
  }
}
