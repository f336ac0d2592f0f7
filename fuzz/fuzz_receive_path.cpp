// The receive path judging whatever comes down the line. One input is:
//   byte 0: bit 0 RTU (else ASCII), bit 1 the user's command awaits its reply,
//           bit 2 a sequence step awaits its reply, bit 3 read all runs,
//           bit 4 write all runs, bit 5 the common-parameter edit,
//           bit 6 the reply window passes twice (a late rest of a reply)
//   byte 1: the active tab (modulo 3)
//   byte 2: the drive address shown in MachineID
//   byte 3: low 4 bits choose the last request sent (15: the next bytes up to
//           a ';' are the request text itself)
//   the rest: pieces of received bytes, each a length byte and its bytes
// The port stays closed, so nothing the dispatch might queue goes out.
#include "app/AppPaths.h"
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "fuzz/FuzzSupport.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string>

namespace {
// Requests the program really sends: parameter reads and writes, status
// reads, control commands, a broadcast, a long user's read.
const char *const KnownRequests[] = {"010300000001", "010310000006", "010620000001", "010600050064",
                                     "0A0310000006", "000620000005", "F70300000001", "010300100002",
                                     "01030000007D", "011000000001", "0103FFFF0001", "01062000FFFF",
                                     "000300000001", "FF0300000001", "0103"};

void SettleEvents() {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 200)
    QCoreApplication::processEvents();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz_receive_path";
  static char *argv[] = {name, nullptr};
  new TApplication(argc, argv); // lives as long as the process
  AppPaths::SetProgramFolder(FuzzSupport::ScratchFolder());
  if (!EnsureDataFolder(AppPaths::DataFolder()).isEmpty())
    std::abort();
  Dialogs::SetHandler([](const Dialogs::Request &) { return Dialogs::Answer{true, QString()}; });
  CreateApplicationWindows();
  // the first activation loads the tables the reply consumers work on
  Form1->show();
  Form1->activateWindow();
  QElapsedTimer clock;
  clock.start();
  while (!Form1->Activated && clock.elapsed() < 10000)
    QCoreApplication::processEvents();
  SettleEvents();
  Form1->UpcSend->stop(); // the input decides when the reply window passes
  Form1->Comm1->ClosePort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4)
    return 0;
  const std::uint8_t flags = data[0];
  std::size_t at = 4;
  std::string request;
  if ((data[3] & 0x0F) == 15) {
    while (at < size && data[at] != ';')
      request += static_cast<char>(data[at++]);
    at = std::min(at + 1, size); // past the ';'
  } else {
    request = KnownRequests[(data[3] & 0x0F) % std::size(KnownRequests)];
  }

  Form1->Comm1->SetByteSize((flags & 1) ? TByteSize::_8 : TByteSize::_7);
  CommState &s = Form1->State;
  s.LastSentFrame = request;
  s.UserCmdAwaitingReply = flags & 2;
  s.SequenceAwaitingReply = flags & 4;
  s.ReadAllActive = flags & 8;
  s.WriteAllActive = flags & 16;
  s.CommonParamEdit = flags & 32;
  s.WaitingReply = true;
  s.ReceiveBuffer.clear();
  s.ReceivedChunk.clear();
  s.ReceivedCount = 0;
  s.DataArrived = false;
  Form1->PageControl1->setCurrentIndex(data[1] % 3);
  Form1->MachineID->setEditText(QString::number(data[2]));

  const int windows = (flags & 64) ? 2 : 1;
  for (int window = 0; window < windows; ++window) {
    const std::size_t end = window + 1 == windows ? size : at + (size - at) / 2;
    while (at < end) {
      const std::size_t length = std::min<std::size_t>(data[at++], end - at);
      Form1->Comm1ReceiveData(reinterpret_cast<const char *>(data + at), static_cast<unsigned>(length));
      at += length;
    }
    try {
      Form1->WaitHandler();
    } catch (const std::exception &) {
      // a conversion error ends the handler and goes to the error box
    }
    // whatever the bytes were, the exchange is over and the buffer empty
    if (s.WaitingReply || !s.ReceiveBuffer.empty())
      std::abort();
  }
  // the sequence or read all may have started something; stop it again
  s.SequenceRunning = false;
  s.ScanRunning = false;
  return 0;
}
