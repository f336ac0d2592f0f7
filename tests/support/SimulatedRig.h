#pragma once

#include "sim/DriveSimulator.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

// The program in a folder of its own, talking to the drive simulator through
// a pseudo-terminal linked into the data folder's ports folder as a serial
// port. The steps that can fail record the failure as QVERIFY would and
// return false, for the caller to return too.
class SimulatedRig {
public:
  QTemporaryDir folder;
  std::unique_ptr<DriveSimulator> sim;

  // Points the program at the temporary folder.
  bool UseProgramFolder();
  // UseProgramFolder with an empty ports folder, then the application
  // windows as at start-up; the settings windows are made here should the
  // program leave them out.
  bool CreateWindows();

  // UseProgramFolder with the tables the program ships, CreateWindows and
  // ShowMainWindow: the program as delivered, started.
  bool StartDelivered();

  // Shows the main window, makes it active and waits for its first
  // activation (settings loaded, port configured).
  bool ShowMainWindow();

  // Drops the simulator running so far and starts a new one with `options`,
  // its serial end linked as `port`. The windows are left alone: a port open
  // on the old simulator is the caller's to close first.
  bool StartSimulator(const SimOptions &options, const QString &port = "COM2");
  // Links `target` as the serial port `port`, replacing an earlier link;
  // makes the ports folder when there is none yet.
  bool LinkPort(const QString &target, const QString &port = "COM2");

  // Chooses the port and the Modbus mode in the protocol window.
  void ChoosePort(bool rtu, const QString &port = "COM2");
  // ChoosePort with the baud rate by index, no parity and one stop bit.
  void ChooseLine(bool rtu, int baudIndex);
  // Applies the protocol window's choice; the send timer is stopped after it,
  // as the tests run the ticks themselves, and the port must be open.
  bool ApplyPort();

  // CreateWindows, StartSimulator, the main window shown and activated, the
  // port applied in ASCII, and the program's own send timer running.
  bool StartRunning(const SimOptions &options);

  // Closes the port of the windows, starts a new simulator with `options`
  // behind COM2 and opens the port on it at the baud rate of `baudIndex`
  // (no parity, one stop bit), the send timer stopped.
  bool Reconnect(const SimOptions &options, int baudIndex);

  // The program's start as far as the windows go: created, shown and
  // activated once; and its end: the close query, then the windows gone.
  static bool StartProgram();
  static void StopProgram();

  // Stops the send timer, closes the port and ends the simulator.
  void TearDown();
};
