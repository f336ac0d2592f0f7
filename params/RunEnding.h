#pragma once

#include "exchange/CommState.h"

#include <QString>
#include <QStringList>

// What happened on the line during a read all or write all, for its last
// word: a plain "Have finished ..." only when every exchange went well.
struct RunTally {
  long long accepted = 0;
  long long rejected = 0;
  long long missed = 0;
  long long late = 0;
  int retried = 0; // records asked again after a failure

  static RunTally Of(const CommState &state) {
    return {state.AcceptedReplies, state.RejectedReplies, state.MissedReplies, state.LateReplies, 0};
  }
};

// `finished` first, then, when anything failed or came late, what did:
// "Have finished reading all codes!\n288 replies taken, 3 failed (1 error
// reply, 2 time-outs), 2 records asked again, 1 late reply seen.\n" and the
// late drives' notes.
QString RunEndingMessage(const QString &finished, const RunTally &atStart, const RunTally &atEnd,
                         const QStringList &lateNotes);
