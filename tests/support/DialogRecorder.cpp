#include "support/DialogRecorder.h"

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
      if (paths_.empty()) {
        answer.accepted = false;
      } else {
        answer.path = paths_.front();
        paths_.pop_front();
      }
      break;
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
    if (r.kind != Dialogs::Kind::OpenFile && r.kind != Dialogs::Kind::SaveFile && r.kind != Dialogs::Kind::Modal)
      out << r.text;
  return out;
}

QString DialogRecorder::LastText() const {
  const QStringList t = Texts();
  return t.isEmpty() ? QString() : t.last();
}
