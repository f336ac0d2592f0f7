#include "app/TrafficLogWiring.h"

#include "app/MainWindow.h"
#include "app/Widgets.h"
#include "base/AppPaths.h"
#include "log/TrafficLog.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QUrl>

void WireTrafficLog(TForm1 *form) {
  const QString dataFolder = AppPaths::DataFolder();
  auto *log = new TrafficLog(TrafficLog::FolderOf(dataFolder), TrafficLog::ReadSettings(dataFolder), form);
  log->setObjectName(QStringLiteral("TrafficLog"));

  QObject::connect(form->Engine->Journal, &ExchangeJournal::Started, log, &TrafficLog::Started);
  QObject::connect(form->Engine->Journal, &ExchangeJournal::Ended, log, &TrafficLog::Ended);

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
