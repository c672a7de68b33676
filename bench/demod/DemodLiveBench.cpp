// The demodulation channel live: the analyser's controller on the simulated receiver at 30 MS/s
// (spectrum thread included, no display), demodulating the station at 99.4 MHz with its audio
// taken off the bus as an audio output would. Prints the channel's own timing reports (average,
// P99 and maximum block time) and its status lines with the time between them, then the median
// P99 and the worst deviation of the measured rate of demodulated audio (the demodulator's
// 500 kHz taken down to 100 kHz by the programme filter) from 100 kHz.
//
//   bench_demod_live [seconds] [stereo|mono]      (default 20 s, stereo)
#include "app/RtsaController.h"
#include "bench/support/BenchFigures.h"
#include "tests/support/RtsaControllerTestAccess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Standard output, where the channel's console lines go, read back through a pipe; the figures
// go to the original standard output.
class ConsoleTap {
public:
    ConsoleTap()
    {
        m_figures = fdopen(dup(fileno(stdout)), "w");
        int fds[2];
        if (pipe(fds) != 0)
            std::abort();
        std::fflush(stdout);
        dup2(fds[1], fileno(stdout));
        close(fds[1]);
        setvbuf(stdout, nullptr, _IOLBF, 0);
        m_reader = std::thread([this, fd = fds[0]] { read(fd); });
    }
    ~ConsoleTap()
    {
        std::fflush(stdout);
        dup2(fileno(m_figures), fileno(stdout)); // closes the pipe's write end: the reader ends
        m_reader.join();
    }
    std::FILE* figures() const { return m_figures; }
    std::vector<std::string> lines(const std::string& prefix) const
    {
        const std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        for (const std::string& line : m_lines)
            if (line.rfind(prefix, 0) == 0)
                out.push_back(line);
        return out;
    }

private:
    void read(int fd)
    {
        std::string pending;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                const std::lock_guard lock(m_mutex);
                m_lines.push_back(pending.substr(0, end));
            }
        }
        close(fd);
    }

    std::FILE* m_figures;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::thread m_reader;
};

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const bool stereo = !(argc > 2 && std::string(argv[2]) == "mono");
    setenv("RZSIM_TEST_TONES", "1", 1);
    ConsoleTap tap;
    QCoreApplication app(argc, argv);
    std::FILE* out = tap.figures();

    RtsaController c;
    QElapsedTimer clock;
    std::vector<std::pair<double, QString>> status;
    QObject::connect(&c, &RtsaController::logMessage, &c, [&](const QString& line) {
        if (line.startsWith(QStringLiteral("[Demod] CPU=")))
            status.emplace_back(clock.elapsed() / 1000.0, line);
    });
    c.applyParams(99.0, 30.0, 0, 0, 20, 30);
    c.setNewDemodFreqHz(99.4e6);
    c.setNewDemodFmStereoEnabled(stereo);
    c.setNewDemodEnabled(true);
    clock.start();
    if (!c.startRx()) {
        std::fprintf(out, "the simulated receiver did not start\n");
        return 1;
    }

    // The audio output's part: take what each slot holds, every 5 ms.
    SingleDemodChannel& channel = RtsaControllerTestAccess::demod(c);
    std::atomic<bool> playing{true};
    std::thread player([&] {
        AudioBus& bus = channel.audioBus();
        std::vector<float> sink(bus.capacity());
        while (playing.load()) {
            for (size_t slot : {channel.leftSlot(), channel.rightSlot()})
                bus.read(slot, sink.data(), static_cast<size_t>(std::lround(bus.fill(slot) * bus.capacity())));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), &app, &QCoreApplication::quit);
    app.exec();
    playing = false;
    player.join();
    c.stopRx();

    std::fprintf(out, "%s at 30 MS/s for %.0f s\n", stereo ? "stereo" : "mono", seconds);
    std::vector<double> p99;
    const QRegularExpression timing(QStringLiteral("P99=([0-9.]+) us"));
    for (const std::string& line : tap.lines("[processIqBlock]")) {
        std::fprintf(out, "  %s\n", line.c_str());
        p99.push_back(timing.match(QString::fromStdString(line)).captured(1).toDouble());
    }
    double worstRate = 0.0;
    const QRegularExpression rate(QStringLiteral("measRate=([0-9.]+)k"));
    for (size_t k = 0; k < status.size(); ++k) {
        const double gap = k > 0 ? status[k].first - status[k - 1].first : 0.0;
        std::fprintf(out, "  +%.2f s  %s\n", gap, qPrintable(status[k].second));
        // The first window after the start is still settling.
        if (k > 0)
            worstRate = std::max(worstRate, std::abs(rate.match(status[k].second).captured(1).toDouble() - 100.0));
    }
    // Drop the first report: it includes the start-up.
    if (!p99.empty())
        p99.erase(p99.begin());
    std::fprintf(out, "median P99 %.1f us over %zu reports; measured rate at most %.2f %% from 100 kHz\n", benchfigures::median(p99),
                 p99.size(), worstRate);
    return 0;
}
