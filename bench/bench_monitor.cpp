// Eight lines of 31 simulated drives each at 38400 baud RTU, first scanned
// by eight `vossek-drive-cli scan` processes without MQTT, then polled by
// eight `vossek-drive-cli monitor` processes publishing every reading
// (--state-every 0) to one local mosquitto. A subscriber in this process
// counts the state messages and takes, for each, the time from the drive's
// reply (the state's "time") to its receipt. Printed: the polling rates of
// both, the monitors' and the scans' CPU per request, the broker's CPU, and
// the reply-to-subscriber delay (p50, p99). Not a timed test: on a small
// machine the sixteen simulator and program processes compete, and the
// figures say so.
#include "bench/ProcessFigures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <mosquitto.h>
#include <mutex>
#include <netinet/in.h>
#include <numeric>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int Lines = 8;
constexpr int WarmUpMs = 3000;
constexpr int MeasureMs = 20000;

// CPU seconds (user and system) the processes have used so far.
double CpuSeconds(const std::vector<std::unique_ptr<QProcess>> &processes) {
  double seconds = 0;
  for (const auto &process : processes)
    seconds += StatCpuSeconds(QStringLiteral("/proc/%1/stat").arg(process->processId()));
  return seconds;
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

std::unique_ptr<QProcess> Start(const QString &program, const QStringList &arguments) {
  auto process = std::make_unique<QProcess>();
  process->setProcessChannelMode(QProcess::SeparateChannels);
  process->start(program, arguments);
  if (!process->waitForStarted(10000)) {
    std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
    std::exit(1);
  }
  return process;
}

void Stop(QProcess &process) {
  process.terminate();
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished(10000);
  }
}

// Counts state messages and their delay from the reply's time.
struct Subscriber {
  std::mutex mutex;
  long long messages = 0;
  std::vector<qint64> delaysMs;
  bool measuring = false;

  static void OnMessage(mosquitto *, void *self, const mosquitto_message *message) {
    auto *subscriber = static_cast<Subscriber *>(self);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QJsonObject state =
        QJsonDocument::fromJson(QByteArray(static_cast<const char *>(message->payload), message->payloadlen))
            .object();
    const QDateTime replied = QDateTime::fromString(state.value("time").toString(), Qt::ISODateWithMs);
    std::lock_guard lock(subscriber->mutex);
    if (!subscriber->measuring || !replied.isValid())
      return;
    ++subscriber->messages;
    subscriber->delaysMs.push_back(now - replied.toMSecsSinceEpoch());
  }
};

qint64 Percentile(std::vector<qint64> values, double p) {
  if (values.empty())
    return -1;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

struct Measured {
  double requestsPerSecond = 0;
  double cpuMsPerRequest = 0;
};
} // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  const QString built = QDir(QCoreApplication::applicationDirPath() + "/..").absolutePath();
  const QString sim = built + "/vossek-drive-sim";
  const QString cli = built + "/vossek-drive-cli";
  const QString table = built + "/templates/database1/RM40.DBF";
  QTemporaryDir scratch;

  const int brokerPort = FreePort();
  QFile conf(scratch.filePath("mosquitto.conf"));
  conf.open(QIODevice::WriteOnly);
  // Started as root the broker would turn into another user; it reads
  // nothing of ours, but stays who we are so its CPU is ours to read.
  conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nuser %2\n")
                 .arg(brokerPort)
                 .arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name))
                 .toUtf8());
  conf.close();
  auto broker = Start("mosquitto", {"-c", conf.fileName()});

  std::vector<std::unique_ptr<QProcess>> simulators;
  QStringList ports;
  for (int line = 0; line < Lines; ++line) {
    simulators.push_back(Start(sim, {"--drives", "1-31", "--baud", "38400", "--mode", "rtu", "--quiet"}));
    simulators.back()->waitForReadyRead(10000);
    ports << QString::fromUtf8(simulators.back()->readLine()).trimmed();
  }
  const QStringList line = {"--mode", "rtu", "--baud", "38400", "--timeout", "200", "--table", table};

  // The scans: a record per reply on stdout.
  Measured scan;
  {
    std::vector<std::unique_ptr<QProcess>> scans;
    std::vector<long long> records(Lines, 0);
    for (int i = 0; i < Lines; ++i) {
      scans.push_back(
          Start(cli, QStringList{"scan", "1-31", "--count", "0", "--port", ports[i], "--quiet"} + line));
      QObject::connect(scans.back().get(), &QProcess::readyReadStandardOutput, [&records, &scans, i] {
        records[static_cast<std::size_t>(i)] +=
            scans[static_cast<std::size_t>(i)]->readAllStandardOutput().count('\n');
      });
    }
    Wait(WarmUpMs);
    const long long before = std::accumulate(records.begin(), records.end(), 0LL);
    const double cpuBefore = CpuSeconds(scans);
    Wait(MeasureMs);
    const long long after = std::accumulate(records.begin(), records.end(), 0LL);
    const double cpuAfter = CpuSeconds(scans);
    for (auto &process : scans)
      Stop(*process);
    scan.requestsPerSecond = static_cast<double>(after - before) / (MeasureMs / 1000.0);
    scan.cpuMsPerRequest =
        after > before ? (cpuAfter - cpuBefore) * 1000.0 / static_cast<double>(after - before) : 0;
  }

  // The monitors, every reading published.
  Subscriber subscriber;
  mosquitto_lib_init();
  mosquitto *client = mosquitto_new(nullptr, true, &subscriber);
  mosquitto_message_callback_set(client, Subscriber::OnMessage);
  if (mosquitto_connect(client, "127.0.0.1", brokerPort, 30) != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "the subscriber cannot reach the broker\n");
    return 1;
  }
  mosquitto_subscribe(client, nullptr, "bench/+/+/state", 0);
  mosquitto_loop_start(client);

  Measured monitor;
  double brokerCpu = 0;
  {
    std::vector<std::unique_ptr<QProcess>> monitors;
    for (int i = 0; i < Lines; ++i)
      monitors.push_back(
          Start(cli, QStringList{"monitor", "--addresses", "1-31", "--port", ports[i], "--mqtt",
                                 QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort), "--topic",
                                 QStringLiteral("bench/line%1").arg(i + 1), "--state-every", "0", "--quiet"} +
                         line));
    Wait(WarmUpMs);
    const double cpuBefore = CpuSeconds(monitors);
    const QString brokerStat = QStringLiteral("/proc/%1/stat").arg(broker->processId());
    const double brokerBefore = StatCpuSeconds(brokerStat);
    {
      std::lock_guard lock(subscriber.mutex);
      subscriber.measuring = true;
    }
    Wait(MeasureMs);
    long long received = 0;
    {
      std::lock_guard lock(subscriber.mutex);
      subscriber.measuring = false;
      received = subscriber.messages;
    }
    const double cpuAfter = CpuSeconds(monitors);
    brokerCpu = StatCpuSeconds(brokerStat) - brokerBefore;
    for (auto &process : monitors)
      Stop(*process);
    // Every reading is a state message: what the subscriber received is
    // what the monitors polled.
    monitor.requestsPerSecond = static_cast<double>(received) / (MeasureMs / 1000.0);
    monitor.cpuMsPerRequest =
        received > 0 ? (cpuAfter - cpuBefore) * 1000.0 / static_cast<double>(received) : 0;
  }
  mosquitto_loop_stop(client, true);
  mosquitto_destroy(client);
  for (auto &process : simulators)
    Stop(*process);
  Stop(*broker);

  std::printf("bench_monitor: %d lines x 31 drives, 38400 baud RTU, %d s measured after %d s\n", Lines,
              MeasureMs / 1000, WarmUpMs / 1000);
  std::printf("  scan alone:   %8.1f requests/s in all, %.3f ms CPU per request\n", scan.requestsPerSecond,
              scan.cpuMsPerRequest);
  std::printf(
      "  monitors:     %8.1f requests/s in all = state messages/s received, %.3f ms CPU per request\n",
      monitor.requestsPerSecond, monitor.cpuMsPerRequest);
  std::printf("  ratio:        %8.3f of scan alone (goal >= 0.95)\n",
              scan.requestsPerSecond > 0 ? monitor.requestsPerSecond / scan.requestsPerSecond : 0.0);
  std::printf("  broker:       %8.3f CPU seconds in %d s (%.1f %% of a core), %.3f ms per message\n",
              brokerCpu, MeasureMs / 1000, brokerCpu * 100.0 / (MeasureMs / 1000.0),
              monitor.requestsPerSecond > 0
                  ? brokerCpu * 1000.0 / (monitor.requestsPerSecond * MeasureMs / 1000.0)
                  : 0.0);
  std::printf("  reply to subscriber: p50 %lld ms, p99 %lld ms over %zu messages (goal p99 < 50 ms)\n",
              static_cast<long long>(Percentile(subscriber.delaysMs, 0.50)),
              static_cast<long long>(Percentile(subscriber.delaysMs, 0.99)), subscriber.delaysMs.size());
  std::printf("  machine: %ld cores\n", sysconf(_SC_NPROCESSORS_ONLN));
  return 0;
}
