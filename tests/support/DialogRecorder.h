#pragma once

#include "app/Dialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>

class QFileDialog;

// Answers the program's message boxes and dialogs in tests and records what
// they showed. Installed for the lifetime of the object.
class DialogRecorder {
public:
  DialogRecorder();
  ~DialogRecorder();

  // Answers queued for the next OkCancel/YesNo boxes (default: accept).
  void QueueAnswer(bool accept) { answers_.push_back(accept); }
  // Paths queued for the next file dialogs (default: cancel).
  void QueuePath(const QString &path) { paths_.push_back(path); }
  // Buttons to click, by their text, in the next Choose boxes (default: none
  // clicked, as when the box is left with Escape).
  void QueueChoice(const QString &button) { choices_.push_back(button); }
  // Called with each Choose box's text before its button is clicked.
  std::function<void(const QString &)> onChoice;
  // The button texts of each Choose box shown so far.
  QList<QStringList> choiceButtons;
  // Called with each modal dialog once it is shown (default: nothing).
  std::function<void(QDialog *)> onModal;
  // When set, each file dialog is shown and handed to it (default: the
  // dialog stays hidden). A file dialog accepted here answers with its
  // choice instead of a queued path.
  std::function<void(QFileDialog *)> onFileDialog;

  // The names a file dialog lists in the folder it shows (empty until it
  // has read the folder).
  static QStringList ListedFiles(QFileDialog *dialog);

  QList<Dialogs::Request> requests;
  // The texts of all boxes shown so far (messages, errors, questions).
  QStringList Texts() const;
  QString LastText() const;
  void Clear() { requests.clear(); }

private:
  std::deque<bool> answers_;
  std::deque<QString> paths_;
  std::deque<QString> choices_;
};
