#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int SignalPipe[2] = {-1, -1};

void NoteSignal(int signalNumber) {
  const int saved = errno; // the interrupted code may be about to read it
  const char byte = static_cast<char>(signalNumber);
  [[maybe_unused]] const ssize_t written = write(SignalPipe[1], &byte, 1);
  errno = saved;
}
} // namespace

void EndOnTerminationSignals(std::function<void()> end) {
  if (SignalPipe[0] < 0 && pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return; // the signals keep their default: the program ends where it stands
  auto *notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, end = std::move(end)] {
    char bytes[16];
    while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // A second signal while the first is handled changes nothing.
    notifier->setEnabled(false);
    end();
  });
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}
