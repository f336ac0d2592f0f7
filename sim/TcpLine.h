#pragma once

#include <string>

// The simulator's end of a serial line carried over TCP, as a transparent
// serial server carries it: it listens on 127.0.0.1 and serves one client at
// a time. A second client waits in the listen queue until the first leaves.
class TcpLine {
public:
  TcpLine() = default;
  ~TcpLine();
  TcpLine(const TcpLine &) = delete;
  TcpLine &operator=(const TcpLine &) = delete;

  // Listens on `port` (0: any free port). On failure returns false with the
  // reason.
  bool Open(int port, std::string &error);
  void Close();

  // Takes the next waiting client when none is connected.
  void AcceptClient();
  // Ends the connection to the current client (gone, or failed).
  void DropClient();

  int ListenFd() const { return listen_; }
  // -1 while no client is connected.
  int ClientFd() const { return client_; }
  // The port name the tool opens: "tcp:127.0.0.1:PORT".
  std::string PortName() const;

private:
  int listen_ = -1;
  int client_ = -1;
  int port_ = 0;
};
