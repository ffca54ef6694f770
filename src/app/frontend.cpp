#include "app/frontend.h"

namespace telva {

QString statusText(const QString& text, const QString& errorText) {
    if (errorText.isNull())
        return text;
    // The readable text loses its own closing full stop: the line ends in ").".
    QString reason = errorText.trimmed();
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return text + QLatin1Char('(') + reason + QLatin1String(").");
}

} // namespace telva
