#include "app/TrafficLogWiring.h"

#include "app/MainWindow.h"
#include "app/Widgets.h"
#include "base/AppPaths.h"
#include "log/TrafficLog.h"
#include "protocol/ReplyRejection.h"
#include "serial/TComm.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QUrl>

namespace {
QString ModeName(const TForm1 *form) {
  return form->IsRtuMode() ? QStringLiteral("RTU") : QStringLiteral("ASCII");
}
} // namespace

void WireTrafficLog(TForm1 *form) {
  const QString dataFolder = AppPaths::DataFolder();
  auto *log = new TrafficLog(TrafficLog::FolderOf(dataFolder), TrafficLog::ReadSettings(dataFolder), form);
  log->setObjectName(QStringLiteral("TrafficLog"));

  QObject::connect(form->Engine, &TExchangeEngine::RequestLogged, log,
                   [form, log](const QString &line, bool awaitsReply) {
                     log->RequestLogged(line, awaitsReply, form->Comm1->CommName(), ModeName(form));
                   });
  QObject::connect(form, &TForm1::BytesArrived, log, &TrafficLog::BytesArrived);
  QObject::connect(form, &TForm1::LineCompleted, log, [form, log](const QString &suffix, bool accepted) {
    const QString reason =
        accepted ? QString() : QString::fromStdString(RejectionWords(form->Engine->LastRejection()));
    log->LineCompleted(suffix, accepted, reason, form->Comm1->CommName(), ModeName(form));
  });

  QObject::connect(form->Engine, &TExchangeEngine::UnaskedData, log,
                   [form, log](const QString &data, bool late) {
                     log->Unasked(data, late ? QStringLiteral("late reply") : QStringLiteral("unasked data"),
                                  form->Comm1->CommName(), ModeName(form));
                   });

  // The note says what the log lacks while it lacks it; elided, so that a
  // long path never widens the window.
  auto *note = new TElidedLabel(form->StatusBar1);
  note->setObjectName(QStringLiteral("TrafficLogNote"));
  note->setStyleSheet(QStringLiteral("color: #b00000"));
  note->hide();
  QObject::connect(log, &TrafficLog::WriteFailed, form, [form, note](const QString &reason) {
    note->SetFullText(QStringLiteral("Traffic log not written: ") + reason);
    form->StatusBar1->addPermanentWidget(note);
    note->show();
  });
  QObject::connect(log, &TrafficLog::WriteResumed, form, [form, note] {
    form->StatusBar1->removeWidget(note);
    note->SetFullText(QString());
  });

  QObject::connect(form->OpenLogFolder1, &QAction::triggered, form, [log] {
    QDir().mkpath(log->Folder());
    QDesktopServices::openUrl(QUrl::fromLocalFile(log->Folder()));
  });
}
