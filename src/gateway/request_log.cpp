#include "gateway/request_log.h"

namespace telva {

QString requestLogLine(const RequestRecord& r) {
    QString line = QLatin1String(r.method) + QLatin1Char(' ') + QString::fromUtf8(r.url);
    if (!r.proxy.isEmpty())
        line += QStringLiteral(" (прокси %1)").arg(r.proxy);
    line += QStringLiteral(": ");
    if (!r.failure.isEmpty())
        line += r.failure;
    else
        line += r.statusLine.isEmpty() ? QStringLiteral("нет ответа")
                                       : QString::fromLatin1(r.statusLine);
    return line + QStringLiteral(", получено %1 Б, отправлено %2 Б, %3 мс")
                      .arg(r.bytesReceived)
                      .arg(r.bytesSent)
                      .arg(r.milliseconds);
}

} // namespace telva
