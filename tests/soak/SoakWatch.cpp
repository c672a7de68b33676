#include "tests/soak/SoakWatch.h"

#include "tests/support/ProcessCounts.h"

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// Each thread's name, scheduler state and where in the kernel it waits: what a deadlock report
// shows, so that the stuck thread and the lock it waits on can be told apart.
void printThreadStates()
{
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error)) {
        std::string name;
        std::string wchan;
        std::string stat;
        std::getline(std::ifstream(it->path() / "comm"), name);
        std::getline(std::ifstream(it->path() / "wchan"), wchan);
        std::getline(std::ifstream(it->path() / "stat"), stat);
        // The state follows the parenthesised name.
        const std::size_t close = stat.rfind(')');
        const char state = close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
        std::fprintf(stderr, "  thread %s %-16s state %c in %s\n", it->path().filename().c_str(), name.c_str(), state,
                     wchan.c_str());
    }
}

} // namespace

SoakWatch::SoakWatch(const std::string& samplesPath, std::chrono::seconds limit)
    : m_limitNs(std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count()), m_samples(samplesPath)
{
    m_samples << "seconds,rss_kb,fds,threads\n";
    expect(Gui, true);
    m_thread = std::thread([this] { run(); });
}

SoakWatch::~SoakWatch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

int64_t SoakWatch::nowNs() const
{
    // Never 0, which marks a source that is not expected.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_start).count()
           + 1;
}

void SoakWatch::heard(Source source)
{
    m_lastHeard[source] = nowNs();
}

void SoakWatch::expect(Source source, bool expected)
{
    if (!expected)
        m_expectedSince[source] = 0;
    else if (m_expectedSince[source].load() == 0)
        m_expectedSince[source] = nowNs();
}

void SoakWatch::restart(Source source)
{
    if (m_expectedSince[source].load() != 0)
        m_expectedSince[source] = nowNs();
}

SoakWatch::Sample SoakWatch::sample() const
{
    return {static_cast<double>(nowNs()) * 1e-9, process::residentKb(), process::openDescriptorCount(),
            process::threadCount()};
}

double SoakWatch::longestSilence(Source source) const
{
    return static_cast<double>(m_longestSilence[source].load()) * 1e-9;
}

const char* SoakWatch::name(Source source)
{
    static constexpr const char* kNames[kSources] = {"GUI thread", "RX status line", "spectrum status line",
                                                     "demodulation status line"};
    return kNames[source];
}

void SoakWatch::run()
{
    pthread_setname_np(pthread_self(), "soak-watch");
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_until(lock, next += std::chrono::seconds(1), [this] { return m_stop; })) {
        const Sample s = sample();
        m_samples << s.seconds << ',' << s.residentKb << ',' << s.descriptors << ',' << s.threads << std::endl;
        check(nowNs());
    }
}

void SoakWatch::check(int64_t now)
{
    // Status lines reach the probe through the GUI thread: while that is stuck, a worker's
    // silence only counts up to the last time the GUI thread was heard.
    const int64_t guiHeard = std::max(m_expectedSince[Gui].load(), m_lastHeard[Gui].load());
    for (int i = 0; i < kSources; ++i) {
        const auto source = static_cast<Source>(i);
        const int64_t since = m_expectedSince[source].load();
        if (since == 0)
            continue;
        const int64_t until = source == Gui ? now : std::min(now, guiHeard);
        const int64_t silence = until - std::max(since, m_lastHeard[source].load());
        if (silence > m_longestSilence[source].load())
            m_longestSilence[source] = silence;
        if (silence > m_limitNs)
            deadlock(source, static_cast<double>(silence) * 1e-9);
    }
}

void SoakWatch::deadlock(Source source, double silentSeconds)
{
    std::fprintf(stderr, "FAILED: deadlock: no %s for %.1f s (limit %.0f s)\n", name(source), silentSeconds,
                 static_cast<double>(m_limitNs) * 1e-9);
    printThreadStates();
    std::fflush(nullptr);
    m_samples.flush();
    std::_Exit(3);
}
