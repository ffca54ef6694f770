#include "operations/zip_entry.h"

#include "app/frontend.h"
#include "archive/zip_reader.h"

namespace telva {

Result<QByteArray> ReadZipEntry(Result<QByteArray> extracted, Frontend& frontend) {
    if (extracted || extracted.error().code != kZipUnknownMethod)
        return extracted;
    frontend.messageBox(extracted.text(), QStringLiteral("Zip Error"), Frontend::Icon::Error);
    return QByteArray();
}

} // namespace telva
