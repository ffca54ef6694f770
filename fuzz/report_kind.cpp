// Report kind detection on the bytes of an XML file.
#include "app/report_kind.h"

#include <QBuffer>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    if (const telva::Result<QString> root = telva::readRootElementName(in, QStringLiteral("fuzz")))
        (void)telva::kindForRootName(*root);
    return 0;
}
