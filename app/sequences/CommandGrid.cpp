// The command list of the "User's Define" tab: the check-box column, which
// cells may be edited, the key filter and the row editing buttons.
#include "app/MainWindow.h"
#include "protocol/HexText.h"
#include "sequences/SequenceRequest.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace {

const char *const EditorColumnProperty = "commandGridColumn";

// A key with a character that the filter judges (not a cursor or editing key).
bool IsCharacterKey(const QKeyEvent *event) {
  const QString text = event->text();
  return text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7F;
}

// Drops the keys the grid does not take, typed into the grid itself or into
// the editor of a cell; pasted text keeps only the characters it may hold.
class GridKeyFilter : public QObject {
public:
  GridKeyFilter(TForm1 *form, QObject *parent) : QObject(parent), form_(form) {}

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() != QEvent::KeyPress)
      return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const QVariant editorColumn = watched->property(EditorColumnProperty);
    const int column = editorColumn.isValid() ? editorColumn.toInt() : form_->StringGrid1->currentColumn();
    auto *editor = qobject_cast<QLineEdit *>(watched);
    if (editor && key->matches(QKeySequence::Paste)) {
      QString kept;
      for (QChar c : QApplication::clipboard()->text())
        if (form_->StringGrid1KeyPress(column, c))
          kept += c;
      editor->insert(kept);
      return true;
    }
    if (!IsCharacterKey(key))
      return false;
    return !form_->StringGrid1KeyPress(column, key->text()[0]);
  }

private:
  TForm1 *form_;
};

// Paints the Select column as check boxes and opens editors only where the
// selected cell may be edited.
class CommandGridDelegate : public QStyledItemDelegate {
public:
  CommandGridDelegate(TForm1 *form, QObject *keyFilter)
      : QStyledItemDelegate(form->StringGrid1), form_(form), keyFilter_(keyFilter) {}

  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
    if (index.column() != CommandColumn::Select || index.row() == 0) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    const QRect cell = option.rect;
    painter->fillRect(cell, option.palette.window());
    const QPixmap &glyph =
        index.data().toString() == QLatin1String("Yes") ? form_->CheckedBitmap : form_->UncheckedBitmap;
    // Centred on the cell; the ticked glyph's size stands for both.
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + cell.height();
    const QSize size = form_->CheckedBitmap.deviceIndependentSize().toSize();
    painter->drawPixmap((cell.left() + right - size.width()) / 2, (cell.top() + bottom - size.height()) / 2,
                        glyph);
  }

  QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                        const QModelIndex &index) const override {
    if (!form_->StringGrid1Editing || index.row() == 0)
      return nullptr;
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor) {
      editor->setProperty(EditorColumnProperty, index.column());
      editor->installEventFilter(keyFilter_);
    }
    return editor;
  }

private:
  TForm1 *form_;
  QObject *keyFilter_;
};

// Remembers which cell was current when a mouse button went down on the
// grid, so that a click on the cell already selected counts as a selection,
// and whether the current cell moves because the mouse is dragged over the
// grid, which selects a range but ticks no mark on the way.
class PressedCellWatcher : public QObject {
public:
  PressedCellWatcher(QTableWidget *grid) : QObject(grid), grid_(grid) {}
  QModelIndex currentAtPress;
  bool dragging = false;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
      currentAtPress = grid_->currentIndex();
      dragging = false;
      break;
    case QEvent::MouseButtonRelease:
      dragging = false;
      break;
    case QEvent::MouseMove:
      dragging = static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton;
      break;
    default:
      break;
    }
    return false;
  }

private:
  QTableWidget *grid_;
};

} // namespace

QString TForm1::GridText(int row, int column) const {
  const QTableWidgetItem *cell = StringGrid1->item(row, column);
  return cell ? cell->text() : QString();
}

void TForm1::SetGridText(int row, int column, const QString &text) {
  if (row < 0 || row >= StringGrid1->rowCount() || column < 0 || column >= StringGrid1->columnCount())
    return;
  QTableWidgetItem *cell = StringGrid1->item(row, column);
  if (!cell) {
    cell = new QTableWidgetItem;
    StringGrid1->setItem(row, column, cell);
  }
  cell->setText(text);
}

void TForm1::SelectGridCell(int row, int column) {
  const QSignalBlocker blocker(StringGrid1);
  StringGrid1->setCurrentCell(row, column);
}

void TForm1::StringGrid1Click(bool toggleMark) {
  const int row = StringGrid1->currentRow();
  const int column = StringGrid1->currentColumn();
  if (row < 1 || column < 0)
    return; // the title row is never selected
  bool editing;
  if (UMODE->ItemIndex() == 1)
    editing = column != CommandColumn::Function && column != CommandColumn::Data;
  else
    editing = column != CommandColumn::Command && column != CommandColumn::Reply;
  if (RadioGroup1->ItemIndex() == 0 && column == CommandColumn::Data)
    editing = false;
  if (column == CommandColumn::Select) {
    editing = false;
    if (toggleMark)
      SetGridText(row, column,
                  GridText(row, column) == QLatin1String("Yes") ? QStringLiteral("No")
                                                                : QStringLiteral("Yes"));
  }
  StringGrid1Editing = editing;
}

bool TForm1::StringGrid1KeyPress(int column, QChar key) {
  if (column == CommandColumn::Note)
    return true;
  const char16_t c = key.unicode();
  if (c == 8 || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))
    return true;
  const QString separator = QString::fromStdString(LocaleDecimalSeparator);
  return !separator.isEmpty() && key == separator[0];
}

void TForm1::UMODEClick() { RadioGroup1->setEnabled(UMODE->ItemIndex() != 1); }

void TForm1::SelectAllClick() {
  const bool mark = SelectAll->isChecked();
  for (int row = 1; row < StringGrid1->rowCount(); ++row) {
    const QString text = GridText(row, CommandColumn::Select);
    if (mark && (text.isEmpty() || text == QLatin1String("No")))
      SetGridText(row, CommandColumn::Select, QStringLiteral("Yes"));
    else if (!mark && text == QLatin1String("Yes"))
      SetGridText(row, CommandColumn::Select, QStringLiteral("No"));
  }
}

namespace {

// A command row as "New" and "Insert" make it: empty, not selected.
void FillNewRow(TForm1 &form, int row) {
  for (int column = 0; column < form.StringGrid1->columnCount(); ++column)
    form.SetGridText(row, column, QString());
  form.SetGridText(row, CommandColumn::Select, QStringLiteral("No"));
}

// The row the editing buttons act on: the selected one, or the first command
// row when nothing is selected yet.
int CurrentCommandRow(const QTableWidget *grid) { return grid->currentRow() < 1 ? 1 : grid->currentRow(); }

} // namespace

void TForm1::UstraddClick() {
  const int row = StringGrid1->rowCount();
  const QSignalBlocker blocker(StringGrid1); // moving rows is no selection by the user
  StringGrid1->insertRow(row);
  FillNewRow(*this, row);
}

void TForm1::ustrinsertClick() {
  const int current = CurrentCommandRow(StringGrid1);
  const int column = qMax(StringGrid1->currentColumn(), 0);
  const int row = qMin(current + 1, StringGrid1->rowCount());
  const QSignalBlocker blocker(StringGrid1); // moving rows is no selection by the user
  StringGrid1->insertRow(row);
  FillNewRow(*this, row);
  SelectGridCell(current, column);
}

void TForm1::ustrdelClick() {
  const int current = CurrentCommandRow(StringGrid1);
  const int column = qMax(StringGrid1->currentColumn(), 0);
  const QSignalBlocker blocker(StringGrid1); // moving rows is no selection by the user
  if (StringGrid1->rowCount() > 2) {
    if (current < StringGrid1->rowCount())
      StringGrid1->removeRow(current);
  } else {
    for (int c = 0; c < StringGrid1->columnCount(); ++c)
      SetGridText(current, c, QString());
  }
  SelectGridCell(qMin(current, StringGrid1->rowCount() - 1), column);
}

void TForm1::WireCommandGrid() {
  auto *keyFilter = new GridKeyFilter(this, StringGrid1);
  StringGrid1->installEventFilter(keyFilter);
  StringGrid1->setItemDelegate(new CommandGridDelegate(this, keyFilter));

  // A selection made by the mouse or the keyboard, and a click on the cell
  // that is already selected, both count as selecting a cell.
  auto *pressed = new PressedCellWatcher(StringGrid1);
  StringGrid1->viewport()->installEventFilter(pressed);
  connect(StringGrid1, &QTableWidget::currentCellChanged, this,
          [this, pressed] { StringGrid1Click(!pressed->dragging); });
  connect(StringGrid1, &QAbstractItemView::clicked, this, [this, pressed](const QModelIndex &index) {
    if (index == pressed->currentAtPress)
      StringGrid1Click();
  });

  connect(UMODE, &TRadioGroup::clicked, this, [this] { UMODEClick(); });
  connect(SelectAll, &QCheckBox::clicked, this, [this] { SelectAllClick(); });
  connect(Ustradd, &QPushButton::clicked, this, [this] { UstraddClick(); });
  connect(ustrdel, &QPushButton::clicked, this, [this] { ustrdelClick(); });
  connect(ustrinsert, &QPushButton::clicked, this, [this] { ustrinsertClick(); });
}
