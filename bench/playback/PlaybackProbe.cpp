// Loaded into the player by bench/run-playback (LD_PRELOAD), never linked into it: measures how
// late a 10 ms timer on the main thread fires while a clip plays, and after the playing time
// closes the player's windows (so that each document logs its frame counts) and quits.
//
// QUILLON_PROBE_SECONDS  how long to measure (after a second for the file to open)
// QUILLON_PROBE_OUTPUT   where to write "p99_ms=... max_ms=... samples=..."

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kIntervalMs = 10;
constexpr int kWarmUpMs = 1000;

void startProbe() {
    const char* seconds = std::getenv("QUILLON_PROBE_SECONDS");
    const char* output = std::getenv("QUILLON_PROBE_OUTPUT");
    if (seconds == nullptr || output == nullptr) {
        return;
    }
    const qint64 measureMs = static_cast<qint64>(std::atof(seconds) * 1000);
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kIntervalMs);
    auto* clock = new QElapsedTimer;
    auto* delays = new std::vector<double>;
    delays->reserve(static_cast<std::size_t>(measureMs / kIntervalMs + 16));
    auto* last = new qint64(-1);
    QObject::connect(timer, &QTimer::timeout, [=] {
        const qint64 now = clock->nsecsElapsed();
        if (now >= kWarmUpMs * 1000000LL && *last >= 0) {
            delays->push_back(std::max(0.0, (now - *last) / 1e6 - kIntervalMs));
        }
        *last = now;
        if (now < (kWarmUpMs + measureMs) * 1000000LL) {
            return;
        }
        timer->stop();
        std::vector<double> sorted = *delays;
        std::sort(sorted.begin(), sorted.end());
        const double p99 = sorted.empty() ? 0 : sorted[(sorted.size() - 1) * 99 / 100];
        const double worst = sorted.empty() ? 0 : sorted.back();
        if (FILE* file = std::fopen(output, "w")) {
            std::fprintf(file, "p99_ms=%.2f max_ms=%.2f samples=%zu\n", p99, worst,
                         sorted.size());
            std::fclose(file);
        }
        // Closing a player window closes its document; then the player is asked to quit the way
        // the session asks it.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible()) {
                widget->close();
            }
        }
        QTimer::singleShot(500, [] { std::raise(SIGTERM); });
    });
    clock->start();
    timer->start();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
