// The simulator's side of an upload: the report file opened as the fund's authorised person,
// then its root element read.
#include "cms_ops.h"
#include "crypto/gost_engine.h"
#include "fixed_pki.h"
#include "xml_root.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdlib>

namespace {

// The fixed pair serves as the fund's root and authorised person alike.
const sim::FundPki& fundPki() {
    static const sim::FundPki pki = [] {
        const QString dir = fuzzProfile() + QStringLiteral("/sim");
        QDir().mkpath(dir + QStringLiteral("/pki"));
        for (const char* party : {"root", "ap"}) {
            const QString base = dir + QStringLiteral("/pki/") + QLatin1String(party);
            QFile::copy(QStringLiteral(TELVA_GOST_VECTORS "/rfc4491-gost2001-key.pem"),
                        base + QStringLiteral(".key"));
            QFile::copy(QStringLiteral(TELVA_GOST_VECTORS "/rfc4491-gost2001-cert.der"),
                        base + QStringLiteral(".cer"));
        }
        sim::FundPki loaded;
        std::string error;
        if (!telva::crypto::ensureGostEngine() ||
            !loaded.loadOrCreate(dir.toStdString(), false, error))
            std::abort();
        return loaded;
    }();
    return pki;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string upload(reinterpret_cast<const char*>(data), size);
    sim::OpenedReport report;
    std::string error, detail;
    if (sim::openReport(fundPki(), upload, report, error, detail))
        (void)sim::localName(sim::rootElementName(report.content));
    (void)sim::localName(sim::rootElementName(upload));
    return 0;
}
