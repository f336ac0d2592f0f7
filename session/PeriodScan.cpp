#include "session/PeriodScan.h"

#include "drive/RequestBodies.h"
#include "exchange/ExchangeEngine.h"
#include "protocol/ConvertError.h"

PeriodScan::PeriodScan(TExchangeEngine &engine, QObject *parent) : QObject(parent), engine_(engine) {}

void PeriodScan::SetKind(bool series, bool arbitrary) {
  series_ = series;
  engine_.SetScanKind(series, arbitrary);
}

ScanList::ListCheck PeriodScan::TakeList(const std::string &text) {
  return ScanList::ParseList(text, position_.ArbitraryList);
}

void PeriodScan::SetPeriodMs(int periodMs) { engine_.SetScanPeriodMs(periodMs); }

int PeriodScan::PeriodMs() const { return engine_.State.ScanPeriodMs; }

int PeriodScan::ShortestPeriodMs() const {
  return engine_.CompleteOnReply() ? 0 : ScanList::ShortestPeriodMs;
}

bool PeriodScan::Running() const { return engine_.State.ScanRunning; }

void PeriodScan::Start(int seriesFrom, int seriesTo, int periodMs) {
  seriesFrom_ = seriesFrom;
  seriesTo_ = seriesTo;
  SetPeriodMs(periodMs);
  position_.ScanAddress = 0;
  position_.ArbitraryIndex = 0;
  position_.ScanStarting = true;
  engine_.SetScanRunning(true);
  emit RunningChanged(true);
}

void PeriodScan::Pause() {
  position_.ScanStarting = false;
  engine_.SetScanRunning(false);
  engine_.RestartInterval();
  emit RunningChanged(false);
}

void PeriodScan::SeriesStep() {
  if (position_.ScanStarting)
    ScanList::BeginSeries(position_, seriesFrom_, seriesTo_);
  Request(ScanList::NextSeriesAddress(position_));
}

void PeriodScan::ArbitraryStep() { Request(ScanList::NextListAddress(position_)); }

// Rather than the same error at every step: the box must never stand
// between the user and Pause.
bool PeriodScan::AddressReady(const std::string &driveAddressText) {
  try {
    StrToInt(driveAddressText);
  } catch (const EConvertError &error) {
    if (!addressRefused_) {
      addressRefused_ = true;
      emit AddressRefused(QString::fromLocal8Bit(error.what()));
    }
    return false;
  }
  addressRefused_ = false;
  return true;
}

// A late answer of one drive must not be taken for the next one's.
bool PeriodScan::AsksSeveralDrives() const {
  return series_ ? position_.SeriesFrom != position_.SeriesTo : position_.ArbitraryList.size() > 1;
}

void PeriodScan::Request(int address) {
  if (address < ScanList::LowestAddress || address > ScanList::HighestAddress)
    return;
  emit RequestDue(RequestBodies::Status(address));
}
