// The gateway's pages: the answer to an upload, the identifier it names, a status page.
#include "app/cp1251.h"
#include "operations/report_status.h"
#include "operations/submission.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    const telva::UploadAnswer answer = telva::parseUploadAnswer(page);
    if (answer.kind == telva::UploadAnswer::Identifier)
        (void)telva::isAcceptedReportId(telva::fromCp1251(answer.text));
    (void)telva::classifyStatusPage(page, QStringLiteral("7701-0001-000123"));
    return 0;
}
