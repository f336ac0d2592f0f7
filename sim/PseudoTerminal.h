#pragma once

#include "sim/DriveLine.h"

#include <string>

// The simulator's end of a serial line: a pseudo-terminal whose serial
// (slave) end the tool opens like a port. The simulator keeps a slave
// descriptor of its own open, so the tool opening and closing the port any
// number of times never hangs up the master end.
class PseudoTerminal {
public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal &) = delete;
  PseudoTerminal &operator=(const PseudoTerminal &) = delete;

  // Opens the pair in raw mode. On failure returns false with the reason.
  bool Open(std::string &error);
  void Close();

  // A port user that ends without closing the port (as the tool does at
  // exit) leaves the line in exclusive mode, and since the simulator keeps the
  // line open that mode would outlive it and turn away the next user. When
  // the line is exclusive but nobody holds the port's lock any more, this
  // lifts the mode. Cheap; call it now and then.
  void ReleaseStaleExclusiveUse();

  // The rate the port's user set, read from the serial end; parity only
  // where the terminal keeps its bit (Linux clears it on a pseudo-terminal).
  LineSeen Seen() const;

  int MasterFd() const { return master_; }
  const std::string &SlavePath() const { return slavePath_; }

private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Makes linkPath a symbolic link to target, creating missing parent folders.
// An existing symbolic link is replaced; anything else at linkPath (a regular
// file, a folder, a device) is left alone and the call fails.
bool CreateSymlink(const std::string &target, const std::string &linkPath, std::string &error);

// Removes linkPath if it is still a symbolic link to target.
void RemoveSymlinkTo(const std::string &target, const std::string &linkPath);
