// Download throughput of the HTTP client against curl, and the meter's
// resident memory during Generate-mode downloads, both from a local nginx.
// Prints figures; asserts nothing. `--smoke` runs one short pass on a small
// file so the test suite keeps it runnable.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "measure/measurement_state.h"
#include "net/local_servers.h"
#include "net/traffic_generator.h"

extern char** environ;

namespace {

using velmar::HttpClient;
using velmar::MeasurementState;
using velmar::TrafficGenerator;

double ResidentMegabytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) {
    return 0;
  }
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) {
      return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
  }
  return 0;
}

// Seconds curl takes to fetch `url` into /dev/null; negative on failure.
double CurlSeconds(const QString& curl, const QString& url) {
  const std::string program = curl.toStdString();
  const std::string target = url.toStdString();
  std::vector<char*> argv = {const_cast<char*>(program.c_str()),
                             const_cast<char*>("-s"),
                             const_cast<char*>("-f"),
                             const_cast<char*>("-o"),
                             const_cast<char*>("/dev/null"),
                             const_cast<char*>(target.c_str()),
                             nullptr};
  QElapsedTimer clock;
  clock.start();
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    return -1;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = clock.nsecsElapsed() / 1e9;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// Seconds one Get of `url` takes with the client as Generate mode sets it
// up (body counted and dropped, the progress handler letting the queue run).
double ClientSeconds(TrafficGenerator& generator, const QString& url, int64_t size) {
  HttpClient& client = generator.HTTPCli();
  client.SetURL(url);
  QElapsedTimer clock;
  clock.start();
  const int status = client.Get();
  const double seconds = clock.nsecsElapsed() / 1e9;
  return status == 200 && client.BodySize() == size ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
  const int64_t size = smoke ? (1ll << 20) : (1ll << 30);
  const int rounds = smoke ? 1 : 3;
  const int generateDownloads = smoke ? 1 : 3;

  try {
    velmar::test::LocalNginx nginx;
    velmar::test::MakeSparseFile(nginx.Root() + QStringLiteral("/file.bin"), size);
    const QString url = nginx.Url(QStringLiteral("/file.bin"));
    const QString curl = velmar::test::FindProgram(QStringLiteral("curl"));
    std::printf("http_bench: %lld MiB file from nginx on 127.0.0.1, best of %d\n",
                static_cast<long long>(size >> 20), rounds);

    MeasurementState state;
    TrafficGenerator generator(state);
    double bestClient = 1e30;
    double bestCurl = 1e30;
    // One fetch first, not counted: nginx's first read of the file would
    // otherwise weigh on whichever side came first.
    ClientSeconds(generator, url, size);
    for (int round = 0; round < rounds; ++round) {
      // Taking turns at going first evens out what the machine does meanwhile.
      double client = 0;
      double byCurl = -1;
      if (round % 2 == 0) {
        client = ClientSeconds(generator, url, size);
        byCurl = curl.isEmpty() ? -1 : CurlSeconds(curl, url);
      } else {
        byCurl = curl.isEmpty() ? -1 : CurlSeconds(curl, url);
        client = ClientSeconds(generator, url, size);
      }
      std::printf("  round %d: client %.3f s, curl %.3f s\n", round + 1, client, byCurl);
      if (client > 0) {
        bestClient = std::min(bestClient, client);
      }
      if (byCurl > 0) {
        bestCurl = std::min(bestCurl, byCurl);
      }
    }
    const double megabytes = size / 1e6;
    std::printf("client throughput: %.0f MB/s\n", megabytes / bestClient);
    if (curl.isEmpty()) {
      std::printf("curl throughput: (curl not installed)\n");
    } else {
      std::printf("curl throughput: %.0f MB/s\n", megabytes / bestCurl);
      std::printf("throughput ratio client/curl: %.2f\n", bestCurl / bestClient);
    }

    // Generate mode as the meter runs it: a 500 ms tick asks for the
    // download, which runs outside the tick; memory is sampled by a handler
    // that runs nested in the downloads.
    state.GenerateMode = true;
    state.AnalysisActive = true;
    generator.SetUrl(url);
    const double baseline = ResidentMegabytes();
    double peak = baseline;
    QTimer sampler;
    sampler.setInterval(50);
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { peak = std::max(peak, ResidentMegabytes()); });
    QTimer tick;
    tick.setInterval(500);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      TrafficGenerator::TickScope scope(generator);
      generator.StartDownload();
    });
    QObject::connect(&generator, &TrafficGenerator::DownloadEnded, [&] {
      if (generator.DownloadsEnded() >= static_cast<uint64_t>(generateDownloads)) {
        tick.stop();
        sampler.stop();
        app.quit();
      }
    });
    QElapsedTimer clock;
    clock.start();
    sampler.start();
    tick.start();
    app.exec();
    std::printf(
        "Generate mode, %d consecutive downloads in %.1f s (%llu failed): resident memory "
        "baseline %.1f MB, peak %.1f MB, growth %.1f MB\n",
        generateDownloads, clock.elapsed() / 1000.0,
        static_cast<unsigned long long>(generator.DownloadsFailed()), baseline, peak,
        peak - baseline);
    return generator.DownloadsFailed() == 0 && bestClient < 1e30 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "http_bench: %s\n", e.what());
    return 1;
  }
}
