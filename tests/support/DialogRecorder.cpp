#include "support/DialogRecorder.h"

#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

DialogRecorder::DialogRecorder() {
  Dialogs::SetHandler([this](const Dialogs::Request &request) {
    requests.append(request);
    Dialogs::Answer answer;
    switch (request.kind) {
    case Dialogs::Kind::OkCancel:
    case Dialogs::Kind::YesNo:
      if (!answers_.empty()) {
        answer.accepted = answers_.front();
        answers_.pop_front();
      }
      break;
    case Dialogs::Kind::OpenFile:
    case Dialogs::Kind::SaveFile:
      if (onFileDialog) {
        request.dialog->open();
        onFileDialog(static_cast<QFileDialog *>(request.dialog));
      }
      if (paths_.empty()) {
        answer.accepted = false;
      } else {
        answer.path = paths_.front();
        paths_.pop_front();
      }
      break;
    case Dialogs::Kind::Choice: {
      QStringList shown;
      QPushButton *chosen = nullptr;
      for (QPushButton *button : request.dialog->findChildren<QPushButton *>()) {
        shown << button->text();
        if (!choices_.empty() && button->text() == choices_.front())
          chosen = button;
      }
      choiceButtons << shown;
      if (onChoice)
        onChoice(request.text);
      if (!choices_.empty())
        choices_.pop_front();
      if (chosen)
        QTest::mouseClick(chosen, Qt::LeftButton);
      break;
    }
    case Dialogs::Kind::Modal:
      if (onModal)
        onModal(request.dialog);
      break;
    default:
      break;
    }
    return answer;
  });
}

DialogRecorder::~DialogRecorder() { Dialogs::SetHandler({}); }

QStringList DialogRecorder::Texts() const {
  QStringList out;
  for (const auto &r : requests)
    if (r.kind != Dialogs::Kind::OpenFile && r.kind != Dialogs::Kind::SaveFile &&
        r.kind != Dialogs::Kind::Modal)
      out << r.text;
  return out;
}

QString DialogRecorder::LastText() const {
  const QStringList t = Texts();
  return t.isEmpty() ? QString() : t.last();
}

QStringList DialogRecorder::ListedFiles(QFileDialog *dialog) {
  const auto *view = dialog->findChild<QListView *>("listView");
  QStringList names;
  if (!view || !view->model())
    return names;
  const QModelIndex root = view->rootIndex();
  for (int row = 0; row < view->model()->rowCount(root); ++row)
    names << view->model()->index(row, 0, root).data().toString();
  return names;
}
