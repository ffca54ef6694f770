#include "app/fund_address.h"

namespace telva {

QString fundAddress(const QString& host, const QString& path) {
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
        if (host.startsWith(scheme, Qt::CaseInsensitive)) {
            QString bare = host;
            while (bare.endsWith(QLatin1Char('/')))
                bare.chop(1);
            return bare + path;
        }
    }
    return QStringLiteral("http://") + host + path;
}

} // namespace telva
