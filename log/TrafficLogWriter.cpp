#include "log/TrafficLogWriter.h"

#include "log/TrafficLogLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {
// Pruning after every megabyte written keeps a busy day within the size limit
// without listing the folder for each line.
constexpr qint64 PruneEvery = 1024 * 1024;

const QRegularExpression &LogFileName() {
  static const QRegularExpression pattern(QStringLiteral("^traffic-(\\d{4}-\\d{2}-\\d{2})\\.csv$"));
  return pattern;
}
} // namespace

TrafficLogWriter::TrafficLogWriter(const QString &folder, Limits limits, QObject *parent)
    : QObject(parent), folder_(folder), limits_(limits) {
  thread_ = std::thread([this] { Run(); });
}

TrafficLogWriter::~TrafficLogWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

QString TrafficLogWriter::FileName(const QDate &day) {
  return QStringLiteral("traffic-") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
}

void TrafficLogWriter::Append(const QDate &day, const QString &line) {
  bool first;
  {
    std::lock_guard lock(mutex_);
    first = queue_.empty();
    queue_.emplace_back(day, line);
    ++appended_;
  }
  // Only the first line of a batch wakes the thread; the others join it.
  if (first)
    wake_.notify_one();
}

void TrafficLogWriter::Flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = appended_;
  if (done_ >= target)
    return;
  flushWanted_ = true;
  wake_.notify_one();
  written_.wait(lock, [&] { return done_ >= target; });
}

void TrafficLogWriter::Fail(const QString &reason) {
  if (!failed_.exchange(true))
    emit WriteFailed(reason);
}

bool TrafficLogWriter::OpenFile(QFile &file, const QDate &day) {
  if (!QDir().mkpath(folder_)) {
    Fail(QStringLiteral("cannot make the folder ") + folder_);
    return false;
  }
  file.setFileName(QDir(folder_).filePath(FileName(day)));
  // A full disk (or a crash) may have left half a line: it is ended, so that
  // the next line is a line of its own.
  char last = '\n';
  if (QFile old(file.fileName()); old.open(QIODevice::ReadOnly) && old.size() > 0) {
    old.seek(old.size() - 1);
    old.read(&last, 1);
  }
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
    Fail(file.fileName() + QStringLiteral(": ") + file.errorString());
    return false;
  }
  if (file.size() == 0)
    file.write((ExchangeCsvHeader() + QLatin1Char('\n')).toUtf8());
  else if (last != '\n')
    file.write("\n");
  return true;
}

void TrafficLogWriter::Prune(const QString &folder, const Limits &limits, const QDate &today,
                             const QString &keep) {
  struct LogFile {
    QString name;
    QDate day;
    qint64 size;
  };
  std::vector<LogFile> files;
  QDir dir(folder);
  for (const QFileInfo &info : dir.entryInfoList({QStringLiteral("traffic-*.csv")}, QDir::Files)) {
    const QRegularExpressionMatch match = LogFileName().match(info.fileName());
    if (!match.hasMatch())
      continue; // not one of ours: never touched
    files.push_back(
        {info.fileName(), QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd")), info.size()});
  }
  std::sort(files.begin(), files.end(), [](const LogFile &a, const LogFile &b) { return a.day < b.day; });
  qint64 total = 0;
  for (const LogFile &file : files)
    total += file.size;
  const QDate oldestKept = today.addDays(-limits.days);
  for (const LogFile &file : files) {
    if (file.name == keep)
      continue;
    if (file.day >= oldestKept && total <= limits.bytes)
      continue;
    if (dir.remove(file.name))
      total -= file.size;
  }
}

void TrafficLogWriter::Run() {
  QFile file;
  QDate fileDay;
  qint64 sincePrune = 0;
  std::deque<std::pair<QDate, QString>> batch;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty() && stopping_)
        return;
      wake_.wait_for(lock, std::chrono::milliseconds(GatherMs), [&] { return stopping_ || flushWanted_; });
      flushWanted_ = false;
      batch.swap(queue_);
    }
    for (const auto &[day, line] : batch) {
      if (!file.isOpen() || day != fileDay) {
        file.close();
        fileDay = day;
        if (!OpenFile(file, day))
          continue;
        Prune(folder_, limits_, day, FileName(day));
        sincePrune = 0;
      }
      const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
      if (file.write(bytes) != bytes.size()) {
        Fail(file.fileName() + QStringLiteral(": ") + file.errorString());
        file.close(); // opened again for the next line
        continue;
      }
      sincePrune += bytes.size();
      if (sincePrune >= PruneEvery) {
        Prune(folder_, limits_, fileDay, FileName(fileDay));
        sincePrune = 0;
      }
    }
    // into the system's hands: a crash of the program no longer loses it
    if (file.isOpen() && !file.flush()) {
      Fail(file.fileName() + QStringLiteral(": ") + file.errorString());
      file.close();
    } else if (file.isOpen() && failed_.exchange(false)) {
      emit WriteResumed();
    }
    {
      std::lock_guard lock(mutex_);
      done_ += batch.size();
    }
    batch.clear();
    written_.notify_all();
  }
}
