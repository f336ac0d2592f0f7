// The tick of UpcSend: all traffic starts here. A tick first times the reply
// that is awaited; when none is, it starts at most one request.
#include "app/MainWindow.h"

#include "settings/TableStore.h"

#include <QComboBox>
#include <QRadioButton>
#include <QTabWidget>

namespace {
constexpr int UserDefineTab = 2;

int ParameterRecordCount(const TForm1 &form) { return form.ADOQuery1 ? form.ADOQuery1->RecordCount() : 0; }
} // namespace

void TForm1::UpcSendTimer() {
  CommState &s = State;

  // The scan period and the pause between sequence steps include the time
  // spent waiting for replies.
  if (s.ScanRunning || s.SequenceRunning)
    ++s.IntervalTicks;
  else
    s.IntervalTicks = 0;

  // After a time-out the line must be quiet for one reply window first.
  if (s.QuietWindowPending && !s.WaitingReply) {
    AwaitQuietLine();
    return;
  }

  // Data that came unasked is timed like a reply, then checked.
  if (s.WaitingReply || !s.ReceiveBuffer.empty()) {
    ++s.WaitTicks;
    if ((s.WaitTicks - 1) * s.TickMs > TimeoutMs)
      WaitHandler();
    return;
  }
  s.DataArrived = false;
  s.WaitTicks = 0;

  // A sequence only advances while its tab is shown.
  if (PageControl1->currentIndex() == UserDefineTab && s.SequenceRunning) {
    if (s.StopRequested)
      UdefStopClick();
    else
      SequenceStep();
    return;
  }

  // Read all and write all prepare their request here so that it goes out
  // in this same tick unless a command is pending.
  if (s.ReadAllActive && ParameterRecordCount(*this) >= s.ReadAllIndex)
    ReadAllStep();
  if (s.WriteAllActive && ParameterRecordCount(*this) != s.WriteAllIndex) {
    if (!WriteAllStep())
      return;
  }

  // Reads are never broadcast: one stays pending while the address is 0.
  const bool broadcast = MachineID->currentText() == "0";
  if (s.ControlPending) {
    s.ControlPending = false;
    SendFrame(s.ControlFrame);
  } else if (s.UserCmdPending) {
    s.UserCmdPending = false;
    SendFrame(s.UserCmdFrame);
    // a broadcast is not answered, so nothing is left waiting for its reply
    s.UserCmdAwaitingReply = s.WaitingReply;
  } else if (ReadPending && !broadcast) {
    // cleared first: a request that raises must not raise again every tick
    ReadPending = false;
    SendFrame(ReadFrame);
  } else if (ModifyPending) {
    ModifyPending = false;
    SendFrame(ModifyFrame);
  } else if (s.ScanRunning && s.IntervalTicks * s.TickMs >= s.ScanPeriodMs && !broadcast &&
             ScanAddressReady()) {
    s.IntervalTicks = 0;
    if (SeriesType->isChecked())
      SeriesScanStep();
    if (ArbitraryType->isChecked())
      ArbitraryScanStep();
  }
}
