// The history pane: one line per exchange, red while the request is
// unanswered or failed, black once its reply was accepted; the pop-up menu and
// the three record counters of the status bar.
#include "app/MainWindow.h"

#include "log/HistoryText.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <memory>

namespace {
constexpr int RequestColor = 255; // red until the reply is accepted
const int HistoryLimit = 100;     // more lines than this lose the oldest one

constexpr int HistoryLineLimit = 4000; // characters one line shows at most
const char *const FullLineNote = " ... (line full, the rest is not shown)";

// An empty pane still holds one empty block; it counts as no line at all.
bool PaneIsEmpty(const QTextDocument *document) {
  return document->blockCount() == 1 && document->firstBlock().length() <= 1;
}

int PaneLineCount(const QTextDocument *document) {
  return PaneIsEmpty(document) ? 0 : document->blockCount();
}

// Each line at once while replies are judged at the end of their window;
// while they are handled as soon as complete, a few times a second, all the
// lines that came in between together.
void ShowHistoryNowOrSoon(TForm1 &form) {
  if (form.HistoryTimer && form.Engine->CompleteOnReply()) {
    if (!form.HistoryTimer->isActive())
      form.HistoryTimer->start();
  } else {
    form.ShowWaitingHistory();
  }
}

void SetBlockColor(QTextDocument *document, const QTextBlock &block, int color) {
  QTextCursor cursor(document);
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  QTextCharFormat format;
  format.setForeground(ColorFromBgr(color));
  cursor.mergeCharFormat(format);
}
} // namespace

int TForm1::HistoryLineCount() const {
  return HistoryWaiting.Count(PaneLineCount(SendRevHistory->document()));
}

QString TForm1::HistoryLine(int line) const {
  if (line < 0 || line >= HistoryLineCount())
    return {};
  const QTextDocument *document = SendRevHistory->document();
  const int dropped = HistoryWaiting.DroppedFromPane();
  const int shown = PaneLineCount(document) - dropped;
  if (line < shown)
    return document->findBlockByNumber(line + dropped).text();
  return HistoryWaiting.Waiting()[static_cast<std::size_t>(line - shown)].text;
}

void TForm1::ColorHistoryLine(int line, int color) {
  if (line < 0 || line >= HistoryLineCount())
    return;
  ShowWaitingHistory();
  QTextDocument *document = SendRevHistory->document();
  // a cursor of its own, so the caret and the selection stay where they are
  SetBlockColor(document, document->findBlockByNumber(line), color);
}

void TForm1::AppendHistoryLine(const QString &text, int color) {
  HistoryWaiting.Append(HistoryText::Shown(text), color);
  ShowHistoryNowOrSoon(*this);
}

void TForm1::CompleteLastHistoryLine(const QString &suffix, bool black) {
  const QString shownSuffix = HistoryText::Shown(suffix);
  emit LineCompleted(shownSuffix, black);
  const int count = HistoryLineCount();
  if (count == 0) {
    // "Clear" emptied the pane while the reply was awaited: the completion
    // stands as a line of its own rather than being lost
    AppendHistoryLine(suffix, black ? 0 : 255);
    return;
  }
  if (HistoryWaiting.CompleteLast(shownSuffix, black, HistoryLineLimit, FullLineNote)) {
    ShowHistoryNowOrSoon(*this);
    return;
  }
  ShowWaitingHistory();
  QTextDocument *document = SendRevHistory->document();
  const QTextBlock last = document->lastBlock();
  // Receptions that no request awaits (noise, late replies) all complete
  // the last line: it is kept to a readable length and says so when full.
  const int room = HistoryLineLimit - (last.length() - 1);
  if (room <= 0)
    return;
  QString shown = shownSuffix;
  if (shown.size() > room)
    shown = shown.left(room) + FullLineNote;
  QTextCursor cursor(document);
  cursor.setPosition(last.position() + last.length() - 1);
  // the appended text takes the colour of the line's last character
  cursor.insertText(shown);
  if (black)
    ColorHistoryLine(count - 1, 0);
}

void TForm1::ShowEndedExchange(const ExchangeRecord &record) {
  if (HistoryText::CompletesRequestLine(record))
    CompleteLastHistoryLine(HistoryText::EndingText(record),
                            record.outcome == ExchangeRecord::Outcome::Accepted);
  else
    LogRequest(HistoryText::EndingText(record));
}

void TForm1::LogRequest(const QString &line) {
  // a line that is no exchange's (a late drive) follows the exchanges before it
  Engine->Journal->TellHeld();
  if (HistoryLineCount() > HistoryLimit)
    DeleteFirstHistoryLine();
  // The pane scrolls to the new line itself once it is there (see
  // FollowNewestHistoryLine), unless the user scrolled up to read.
  AppendHistoryLine(line, RequestColor);
}

void TForm1::DeleteFirstHistoryLine() {
  if (HistoryLineCount() == 0)
    return;
  HistoryWaiting.DropFirst(PaneLineCount(SendRevHistory->document()));
  ShowHistoryNowOrSoon(*this);
}

void TForm1::RecordCountersChanged() {
  RecordCountersWaiting = true;
  ShowHistoryNowOrSoon(*this);
}

void TForm1::ShowHistoryBatch() {
  const bool holdBackLast = State.WaitingReply && HistoryWaiting.HoldBackLast();
  ShowWaitingHistory(holdBackLast);
  if (holdBackLast)
    HistoryTimer->start();
}

void TForm1::ShowWaitingHistory(bool keepLast) {
  if (HistoryTimer)
    HistoryTimer->stop();
  if (RecordCountersWaiting) {
    RecordCountersWaiting = false;
    ShowRecordCounters();
  }
  emit WaitingHistoryShown();
  if (HistoryWaiting.Empty())
    return;
  QTextDocument *document = SendRevHistory->document();
  QTextCursor cursor(document);
  // The oldest lines go in one edit and the new ones come in another: the
  // pane lays out only what an edit spans, and one edit from the top to the
  // bottom would lay out every line again.
  // Inside an edit block, too, a cursor that moves does not lay out its line
  // to find where it stands.
  if (const int dropped = HistoryWaiting.DroppedFromPane(); dropped > 0) {
    cursor.beginEditBlock();
    cursor.setPosition(0);
    if (dropped < document->blockCount())
      cursor.setPosition(document->findBlockByNumber(dropped).position(), QTextCursor::KeepAnchor);
    else
      cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
  }
  cursor.beginEditBlock();
  const std::deque<PendingHistory::Line> &waiting = HistoryWaiting.Waiting();
  for (auto line = waiting.begin(); line != waiting.end() - (keepLast ? 1 : 0); ++line) {
    cursor.movePosition(QTextCursor::End);
    if (!PaneIsEmpty(document))
      cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(ColorFromBgr(line->color));
    cursor.insertText(line->text, format);
  }
  cursor.endEditBlock();
  HistoryWaiting.Clear(keepLast);
}

void FollowNewestHistoryLine(QTextEdit *pane) {
  // Following while the view is at the bottom; scrolling up to read older
  // lines stops it, scrolling back down resumes it.
  QScrollBar *bar = pane->verticalScrollBar();
  auto following = std::make_shared<bool>(true);
  QObject::connect(bar, &QScrollBar::valueChanged, pane,
                   [bar, following](int value) { *following = value >= bar->maximum(); });
  QObject::connect(bar, &QScrollBar::rangeChanged, pane, [bar, following](int, int maximum) {
    if (*following)
      bar->setValue(maximum);
  });
}

void TForm1::ShowRecordCounters() {
  StatusBar1->SetPanelText(1, "   Total Record   " + QString::number(State.TotalRecords));
  StatusBar1->SetPanelText(2, "   Error Record   " + QString::number(State.ErrorRecords));
  StatusBar1->SetPanelText(3, "   Timeout Record   " + QString::number(State.TimeoutRecords));
}

void TForm1::Selectall1Click() {
  ShowWaitingHistory();
  SendRevHistory->selectAll();
}

void TForm1::clear1Click() {
  HistoryWaiting.Clear();
  SendRevHistory->clear();
  Engine->ClearCounters();
}

void TForm1::copy1Click() {
  ShowWaitingHistory();
  // plain text only; the pane's paragraph separators become line breaks
  QString text = SendRevHistory->textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, '\n');
  text.replace(QChar::LineSeparator, '\n');
  QApplication::clipboard()->setText(text);
}
