#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

// Every message box, file dialog and modal window of the program goes through
// here, so that tests can answer them and read their texts without a display
// and without hanging in a modal loop.
namespace Dialogs {

enum class Kind {
  Message,  // plain box with OK
  Error,    // the application's standard error box
  OkCancel, // confirmation with a caption
  YesNo,    // question with a caption
  OpenFile, // file open dialog
  SaveFile, // file save dialog
  Modal,    // a window shown modally (TInputBox, the time dialog)
  Choice    // a question with buttons of its own (Choose)
};

struct Request {
  Kind kind = Kind::Message;
  QString caption;
  QString text;   // message text, or the default file name of a file dialog
  QString filter; // file dialogs: filter as "desc(*.ext)|*.ext|..."
  // Kind::Modal, the open file dialog of OpenFile/SaveFile, the open message
  // box of Choice
  QDialog *dialog = nullptr;
};

// The answer of a handler: for OkCancel/YesNo true means OK/Yes; for file
// dialogs the chosen path (empty = cancelled).
struct Answer {
  bool accepted = true;
  QString path;
};

using Handler = std::function<Answer(const Request &)>;

// Replaces the interactive boxes (tests). An empty handler restores them.
void SetHandler(Handler handler);

void ShowMessage(const QString &text);
void ShowError(const QString &text);
bool OkCancel(const QString &caption, const QString &text);
bool YesNo(const QString &caption, const QString &text);
// Asks with one button per text; returns the index of the button clicked.
// The last button is the one Escape and the window's close button stand
// for; -1 when the box was left without any.
int Choose(const QString &caption, const QString &text, const QStringList &buttons);
// Returns the chosen path, or an empty text when cancelled. The dialog starts
// in `directory` (empty: the working directory).
QString GetOpenFileName(const QString &caption, const QString &filter, const QString &directory = QString());
QString GetSaveFileName(const QString &caption, const QString &defaultName, const QString &filter);
// Shows a dialog modally. With a test handler installed the dialog is shown
// without a nested loop (QDialog::open) and the call returns at once.
void ExecModal(QDialog *dialog);

// Converts a filter of the form "desc(*.a;*.A)|*.a;*.A|desc2(*.b)|*.b" into
// Qt's form "desc (*.a *.A);;desc2 (*.b)".
QString ToQtFilter(const QString &filter);

} // namespace Dialogs
