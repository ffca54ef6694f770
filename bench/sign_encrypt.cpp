// Signs and encrypts 1 MB, 100 MB and 1 GB reports (5 GB too with --large) and, on the same
// files, runs the two-step `openssl cms -sign -noattr | openssl cms -encrypt` pipeline;
// prints wall time (median of three runs below 1 GB, one run above) and peak memory of
// both, and the ratios. Each measurement runs in its own process so that peaks do not mix.
// Goals: ours at most 0.40 of openssl's time at 100 MB, and at most 48 MB at every size.

#include "crypto/sign_encrypt.h"
#include "app/context.h"
#include "app/frontend.h"
#include "child_measure.h"
#include "crypto/cert_import.h"
#include "crypto/providers.h"
#include "quiet_frontend.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace telva;

using telva::bench::inChild;
using telva::bench::Measure;
using telva::bench::median;

namespace {

bool shell(const QString& command) {
    return system(command.toLocal8Bit().constData()) == 0;
}

QByteArray loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

QString q(const QString& path) {
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

} // namespace

int main(int argc, char** argv) {
    unsetenv("CRYPT_PARAMS");
    const bool large = argc > 1 && strcmp(argv[1], "--large") == 0;
    QTemporaryDir dir;
    const QString d = dir.path();
    qputenv("XDG_DATA_HOME", (d + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (d + "/config").toUtf8());

    // Two GOST R 34.10-2001 certificates made by the openssl command.
    for (const char* who : {"personal", "fund"}) {
        const QString base = d + "/" + who;
        if (!shell("openssl req -engine gost -x509 -newkey gost2001 -pkeyopt paramset:A -md_gost94 "
                   "-nodes -days 365 -subj '/CN=" +
                   QString::fromLatin1(who) + "/O=Bench' -keyout " + q(base + "-key.pem") +
                   " -out " + q(base + ".pem") + " 2>/dev/null")) {
            fprintf(stderr, "certificate generation failed\n");
            return 1;
        }
    }
    auto readAll = [](const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    };
    QuietFrontend frontend;
    const auto personal = crypto::ImportCertificate(0, readAll(d + "/personal.pem"),
                                                    readAll(d + "/personal-key.pem"), &frontend);
    const auto fund = crypto::ImportCertificate(7, readAll(d + "/fund.pem"), {}, &frontend);
    const crypto::ProviderList providers = crypto::FillProviderList(QString());
    if (!personal || !fund || providers.entries.isEmpty()) {
        fprintf(stderr, "setup failed: %s%s\n", qPrintable(personal.text()),
                qPrintable(fund.text()));
        return 1;
    }
    AppContext ctx(frontend);
    ctx.settings.provName = providers.entries.first().name;
    ctx.settings.provType = providers.entries.first().type;
    ctx.settings.priv = {{}, {}, QStringLiteral("personal"), personal->serialHex().value(), 0};
    ctx.settings.pub = {{}, {}, QStringLiteral("fund"), fund->serialHex().value(), 7};

    printf("load average before: %s\n", loadAverage().constData());
    printf("%8s | %10s %10s | %10s %10s | %10s %10s\n", "size", "ours s", "ours MB", "openssl s",
           "openssl MB", "time ratio", "peak ratio");
    std::vector<int> sizes{1, 100, 1024};
    if (large)
        sizes.push_back(5120);
    bool goals = true;
    for (int mb : sizes) {
        const QString input = d + QStringLiteral("/report-%1.xml").arg(mb);
        {
            QFile f(input);
            f.open(QIODevice::WriteOnly);
            QByteArray line =
                "<ROW N=\"0000000\">Сведения о застрахованном лице 0123456789</ROW>\n";
            f.write("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<R7REPORT>\n");
            for (qint64 written = 0; written < qint64(mb) << 20; written += line.size()) {
                line.replace(8, 7, QByteArray::number(written % 9999999).rightJustified(7, '0'));
                f.write(line);
            }
            f.write("</R7REPORT>\n");
        }
        const QString ourOutput = d + QStringLiteral("/ours-%1.er7").arg(mb);
        const QString theirOutput = d + QStringLiteral("/openssl-%1.der").arg(mb);
        const QString pipeline = "openssl cms -sign -engine gost -binary -noattr -nodetach -md "
                                 "md_gost94 -outform DER -in " +
                                 q(input) + " -signer " + q(d + "/personal.pem") + " -inkey " +
                                 q(d + "/personal-key.pem") +
                                 " 2>/dev/null | openssl cms -encrypt -engine gost -binary " +
                                 "-inform DER -outform DER -gost89 -out " + q(theirOutput) + " " +
                                 q(d + "/fund.pem") + " 2>/dev/null";
        std::vector<double> ourTimes, theirTimes;
        double ourPeak = 0, theirPeak = 0;
        bool ok = true;
        for (int round = 0; round < (mb < 1024 ? 3 : 1); ++round) {
            const Measure ours =
                inChild([&] { return crypto::SignAndEncrypt(ctx, input, ourOutput).ok(); });
            const Measure theirs = inChild([&] { return shell(pipeline); });
            ourTimes.push_back(ours.seconds);
            theirTimes.push_back(theirs.seconds);
            ourPeak = std::max(ourPeak, ours.peakMb);
            theirPeak = std::max(theirPeak, theirs.peakMb);
            ok = ok && ours.ok && theirs.ok;
            QFile::remove(theirOutput);
        }
        // openssl must open what we wrote: decrypt and verify it, comparing with the input.
        const QString opened = d + "/opened.xml";
        ok = ok &&
             shell("openssl cms -decrypt -engine gost -binary -inform DER -in " + q(ourOutput) +
                   " -recip " + q(d + "/fund.pem") + " -inkey " + q(d + "/fund-key.pem") +
                   " 2>/dev/null | openssl cms -verify -engine gost -binary -noverify "
                   "-inform DER -out " +
                   q(opened) + " 2>/dev/null && cmp -s " + q(opened) + " " + q(input));
        QFile::remove(opened);
        QFile::remove(ourOutput);
        QFile::remove(input);
        const double ratio = median(ourTimes) / median(theirTimes);
        printf("%6d MB | %10.2f %10.1f | %10.2f %10.1f | %10.2f %10.2f%s\n", mb, median(ourTimes),
               ourPeak, median(theirTimes), theirPeak, ratio, ourPeak / theirPeak,
               ok ? "" : "  [a run failed or openssl could not open ours]");
        fflush(stdout);
        goals = goals && ok && ourPeak <= 48 && (mb != 100 || ratio <= 0.40);
    }
    printf("goals (time <= 0.40 of openssl at 100 MB, peak <= 48 MB): %s; load average after: "
           "%s\n",
           goals ? "MET" : "MISSED", loadAverage().constData());
    return 0;
}
