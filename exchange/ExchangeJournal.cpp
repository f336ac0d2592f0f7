#include "exchange/ExchangeJournal.h"

#include <exception>
#include <utility>

ExchangeJournal::Turn::Turn(ExchangeJournal &journal)
    : journal_(journal), exceptions_(std::uncaught_exceptions()) {
  ++journal_.turns_;
}

ExchangeJournal::Turn::~Turn() {
  --journal_.turns_;
  if (std::uncaught_exceptions() > exceptions_)
    QMetaObject::invokeMethod(&journal_, &ExchangeJournal::TellHeld, Qt::QueuedConnection);
  else
    journal_.TellHeld();
}

void ExchangeJournal::TellHeld() {
  if (telling_ || turns_ > 0 || held_.empty())
    return;
  telling_ = true;
  // Records told while these are told (a watcher that sends) come after them.
  for (std::size_t i = 0; i < held_.size(); ++i) {
    const Held held = std::move(held_[i]);
    try {
      Emit(held.record, held.ended);
    } catch (...) {
      held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(i + 1));
      telling_ = false;
      throw;
    }
  }
  held_.clear();
  telling_ = false;
}

void ExchangeJournal::Tell(ExchangeRecord &&record, bool ended) {
  if (TellsAtOnce()) {
    Emit(record, ended);
    return;
  }
  held_.push_back({std::move(record), ended});
  TellHeld();
}

void ExchangeJournal::Emit(const ExchangeRecord &record, bool ended) {
  if (ended)
    emit Ended(record);
  else
    emit Started(record);
}
