// The tool-bar buttons of the protocol settings and the two time dialogs.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "app/settings/TTimeInput.h"

#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

void TForm1::WireSettings() {
  connect(UProtocol, &QToolButton::clicked, this, [this] { UProtocolClick(); });
  connect(UTimeineterval, &QToolButton::clicked, this, [this] { UTimeinetervalClick(); });
  connect(Utimeout, &QToolButton::clicked, this, [this] { UtimeoutClick(); });
}

void TForm1::UProtocolClick() {
  ProtocolSet->Edit1->setText(DriveSeries->currentText());
  ProtocolSet->ShowCentredOn(this);
}

namespace {
void OpenTimeInput(TForm1 *form, const QString &prompt) {
  TTimeInput window(prompt, form->TimeIntervalMs, form->TimeoutMs, form);
  // A reply being awaited is timed anew from now.
  form->Engine->RestartReplyWait();
  Dialogs::ExecModal(&window);
}
} // namespace

void TForm1::UTimeinetervalClick() { OpenTimeInput(this, TTimeInput::IntervalPrompt); }

void TForm1::UtimeoutClick() { OpenTimeInput(this, TTimeInput::TimeoutPrompt); }
