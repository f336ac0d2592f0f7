#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// What a write all with verification did: the values the drive confirmed,
// refused (exception 03) or never answered, the records it left alone
// (read-only, or a value outside the table's range), and, read back after
// the run, the values the drive holds. Knows no windows and sends nothing.
class TWriteAllCheck {
public:
  // A write all with verification starts; forgets an earlier run.
  void Begin();
  // The run ended or was cancelled.
  void End();
  bool Active() const { return active_; }

  // ---- writing ----------------------------------------------------------------
  // `code` ("F113") is about to be written with the register value `raw`,
  // shown as `text` with `decimals` decimals. A write of the same code again
  // (after a failed exchange) replaces the one before.
  void Writing(const QString &code, std::uint16_t raw, const QString &text, int decimals);
  void Confirmed(); // the drive echoed the write
  void Refused();   // the drive answered the write with exception 03
  // True once after a refusal: the refused record is not asked again.
  bool TakeRefusal();
  void Skipped(const QString &code, const QString &reason);

  // ---- reading back -----------------------------------------------------------
  void StartReadBack();
  bool ReadingBack() const { return readingBack_; }
  // True while the last read asked got no value yet (it failed).
  bool ReadAwaited() const { return readAwaited_; }
  // The code to read next ("F113"), or empty when every written one is read;
  // `again` asks the last one again.
  QString NextToRead(bool again);
  // The value the drive answered to the last read asked.
  void ReadBack(std::uint16_t raw);

  int WrittenCount() const { return static_cast<int>(written_.size()); }
  int VerifiedCount() const;
  int DifferingCount() const;
  // The end message: the counts, the parameters whose value differs, the
  // refused, unanswered and skipped ones. Values use `separator`.
  QString Report(const std::string &separator) const;

private:
  struct Write {
    QString code;
    std::uint16_t raw = 0;
    QString text;
    int decimals = 0;
    bool readBack = false;
    std::uint16_t held = 0; // what the drive answered
  };

  void DropPending(); // an unanswered write

  bool active_ = false;
  bool readingBack_ = false;
  bool readAwaited_ = false;
  bool hasPending_ = false;
  bool refusal_ = false;
  Write pending_;
  std::vector<Write> written_;
  std::size_t nextRead_ = 0;
  QStringList refused_;
  QStringList unanswered_;
  QStringList skipped_;
};
