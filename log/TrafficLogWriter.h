#pragma once

#include <QDate>
#include <QFile>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

// Appends lines to one CSV file a day ("traffic-YYYY-MM-DD.csv") on a thread
// of its own, so that a slow or full disk never holds up the main thread.
// Lines are gathered for up to GatherMs before they are written, so that a
// busy line wakes the thread ten times a second rather than at every line;
// each batch is handed to the system as soon as it is written, so a crash
// loses only what was still queued. Flush() and the destructor write at once. Files
// older than the age limit, or beyond the size limit in all, are removed
// oldest first. A failure is reported once and never ends the program: the
// lines that cannot be written are dropped, and the first batch written
// again says so. A line a full disk cut is ended before the next one.
class TrafficLogWriter : public QObject {
  Q_OBJECT
public:
  static constexpr int GatherMs = 100;

  struct Limits {
    int days = 30;
    qint64 bytes = 200LL * 1024 * 1024;
  };

  TrafficLogWriter(const QString &folder, Limits limits, QObject *parent = nullptr);
  ~TrafficLogWriter() override;

  // Queues one line (without its line break) for the file of `day`.
  void Append(const QDate &day, const QString &line);
  // Returns once every line appended so far has been written (or dropped).
  void Flush();
  bool Failed() const { return failed_; }
  QString Folder() const { return folder_; }

  static QString FileName(const QDate &day);
  // Removes the log files of `folder` beyond the limits, oldest first, but
  // never the file named `keep`.
  static void Prune(const QString &folder, const Limits &limits, const QDate &today, const QString &keep);

signals:
  // The first failure to write; later ones are silent until writing
  // resumes.
  void WriteFailed(const QString &reason);
  // Lines are written again after a failure.
  void WriteResumed();

private:
  void Run();
  void Fail(const QString &reason);
  // Opens the file of `day` for appending; false (reported) when it cannot.
  bool OpenFile(QFile &file, const QDate &day);

  const QString folder_;
  const Limits limits_;
  std::mutex mutex_; // guards the five fields below
  std::condition_variable wake_;
  std::condition_variable written_;
  std::deque<std::pair<QDate, QString>> queue_;
  std::uint64_t appended_ = 0;
  std::uint64_t done_ = 0;
  bool stopping_ = false;
  bool flushWanted_ = false;
  std::atomic<bool> failed_{false};
  std::thread thread_;
};
