#pragma once

#include "exchange/ExchangeRecord.h"

#include <QObject>
#include <vector>

// The exchanges as those who show or log them hear of them: every record the
// engine tells by ExchangeStarted and ExchangeEnded, in the same order. While
// the engine goes from a reply to the next request, the records are held and
// told once that request is on the line: the history, the traffic log and
// the status displays then take their share while the drive answers, not
// between a reply and the next request. Whatever decides what goes out next
// (read all, a sequence, the command-line program) listens to the engine.
class ExchangeJournal : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;

  // Tells what is held now. A history line that is no exchange's goes after
  // the exchanges told before it.
  void TellHeld();

signals:
  void Started(const ExchangeRecord &record);
  void Ended(const ExchangeRecord &record);

private:
  friend class TExchangeEngine;

  // The engine's turn from a reply to the next request; what is told in it
  // is held until its end. A turn left by an exception tells at the next
  // return to the event loop.
  class Turn {
  public:
    explicit Turn(ExchangeJournal &journal);
    ~Turn();
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;

  private:
    ExchangeJournal &journal_;
    int exceptions_;
  };

  void Tell(ExchangeRecord &&record, bool ended);
  void Emit(const ExchangeRecord &record, bool ended);
  // Told at once: no turn holds it and nothing told before waits.
  bool TellsAtOnce() const { return turns_ == 0 && !telling_ && held_.empty(); }

  struct Held {
    ExchangeRecord record;
    bool ended;
  };
  std::vector<Held> held_;
  int turns_ = 0;
  bool telling_ = false; // what is told meanwhile joins the records being told
};
