// Start-up time: from starting the process to its main window shown (exposed and painted), median
// of 10, the player against a minimal Qt Widgets program showing one QMainWindow, alternating, after
// one uncounted warm-up run of each. The player starts in a working directory whose Config.ini points
// at the reference service on 127.0.0.1 (demo library), so its start-up requests are answered
// locally. Needs an X display: run it under tools/on-x-server.

#include "BenchFigures.h"
#include "BenchGoals.h"
#include "DemoService.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>
#include <vector>

namespace {

constexpr int Runs = 10;

// Milliseconds from starting the program to its "shown" line; negative on failure.
double timeToShown(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 start = monotonicNs();
    process.start(program, arguments);
    const bool finished = process.waitForFinished(30000);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    const QRegularExpressionMatch shown =
        QRegularExpression(QStringLiteral("^shown (\\d+)$"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(process.readAllStandardOutput()));
    if (!finished || !shown.hasMatch()) {
        std::fprintf(stderr, "%s did not report its window: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return -1;
    }
    return (shown.captured(1).toLongLong() - start) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_startup needs an X display (run it under tools/on-x-server)\n");
        return 2;
    }

    DemoService service;
    if (!service.makeDemo(2) || !service.start()) {
        std::fprintf(stderr, "could not set up the reference service\n");
        return 1;
    }
    const QString work = service.scratchDir() + QStringLiteral("/player");
    const QString lock = service.scratchDir() + QStringLiteral("/lock");
    QDir().mkpath(work);
    QDir().mkpath(lock);
    // A returning user's settings: no first-launch questions, the local service.
    QFile config(work + QStringLiteral("/Config.ini"));
    if (!config.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(config.fileName()));
        return 1;
    }
    config.write(QStringLiteral("[Application]\nFirstLaunch=0\n\n"
                                "[AccountOpeartionDialogMiscPage]\nLastAutoShowDayOfYear=%1\n\n"
                                "[Service]\nHost=%2\n")
                     .arg(QDate::currentDate().dayOfYear())
                     .arg(service.hostPort())
                     .toUtf8());
    config.close();

    const QString player = QStringLiteral(STARTUP_PLAYER);
    const QString baseline = QStringLiteral(STARTUP_BASELINE);
    std::vector<double> ours;
    std::vector<double> theirs;
    int failures = 0;
    for (int i = 0; i < Runs + 1; ++i) {
        // Alternating evens out other load on the shared machine; the first round warms caches.
        const double mine = timeToShown(player, {lock}, work);
        const double minimal = timeToShown(baseline, {}, work);
        failures += (mine < 0) + (minimal < 0);
        if (i == 0)
            continue;
        if (mine >= 0)
            ours.push_back(mine);
        if (minimal >= 0)
            theirs.push_back(minimal);
    }
    service.stop();
    if (ours.empty() || theirs.empty()) {
        std::fprintf(stderr, "no complete run (failures: %d)\n", failures);
        return 1;
    }
    const Figures p = Figures::of(ours);
    const Figures b = Figures::of(theirs);
    std::printf("bench_startup: process start -> main window shown, service on %s, failures: %d\n",
                qPrintable(service.hostPort()), failures);
    std::printf("player:                         %s\n", qPrintable(p.text("ms")));
    std::printf("baseline (one QMainWindow):     %s\n", qPrintable(b.text("ms")));
    std::printf("ratio=%.3f (goal <= %.2f)\n", p.median / b.median, BenchGoals::StartupRatio);
    return 0;
}
