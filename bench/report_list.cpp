// The sent-reports list of an archive with 1,000 and 10,000 report folders of five files
// each. Goal: at most 0.3 s for 10,000 folders, growing linearly.
#include "archive/report_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// An archive base folder holding count report folders, each with the source, the encrypted
// report, the sender's note, the receipt and the receipt archive.
void fillArchive(const QString& base, int count) {
    const QString arc = base + QStringLiteral("/ARC/");
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("7701-%1-%2")
                               .arg(i % 10000, 4, 10, QLatin1Char('0'))
                               .arg(i, 6, 10, QLatin1Char('0'));
        const QString folder = arc + id + QLatin1Char('/');
        QDir().mkpath(folder);
        writeFile(folder + QStringLiteral("rep.xml"), QByteArray(2048, 'x'));
        writeFile(folder + QStringLiteral("rep.er7"), QByteArray(4096, 'e'));
        writeFile(folder + id + QStringLiteral(".inf"),
                  "\xce\xce\xce \xd0\xee\xec\xe0\xf8\xea\xe0");
        writeFile(folder + id + QStringLiteral(".p7e"), QByteArray(3000, 'r'));
        writeFile(folder + id + QStringLiteral(".zip"), QByteArray(2500, 'z'));
    }
}

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

struct Figure {
    double wall = 1e9; // elapsed time
    double cpu = 1e9;  // processor time of this program: the elapsed time on an idle machine
};

// The best of several runs after one that warms the caches.
Figure bestOf(int runs, const QString& base, std::size_t expectedRows) {
    Figure best;
    for (int run = -1; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuSeconds();
        const telva::ReportList list =
            telva::FillReportList(base, QStringLiteral("xml"), QStringLiteral("p7e"));
        const double seconds = timer.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpuStart;
        if (list.size() != expectedRows) {
            std::fprintf(stderr, "expected %zu rows, got %zu\n", expectedRows, list.size());
            std::exit(1);
        }
        if (run >= 0) {
            best.wall = std::min(best.wall, seconds);
            best.cpu = std::min(best.cpu, cpu);
        }
    }
    return best;
}

QByteArray loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    return file.readAll().split(' ').value(0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Figure figures[2];
    const int counts[2] = {1000, 10000};
    for (int k = 0; k < 2; ++k) {
        const QString base = dir.path() + QStringLiteral("/base%1").arg(counts[k]);
        fillArchive(base, counts[k]);
        // Measure the listing, not the write-back of the files just made.
        sync();
        figures[k] = bestOf(5, base, std::size_t(counts[k]));
        std::printf("sent-reports list of %5d report folders: best of 5 %.4f s elapsed, %.4f s "
                    "processor\n",
                    counts[k], figures[k].wall, figures[k].cpu);
    }
    std::printf("10,000 / 1,000: %.1f elapsed, %.1f processor (linear: about 10)\n",
                figures[1].wall / figures[0].wall, figures[1].cpu / figures[0].cpu);
    std::printf("goal <= 0.3 s for 10,000: %s (load average %s)\n",
                figures[1].wall <= 0.3 ? "OK" : "SLOW", loadAverage().constData());
    return 0;
}
