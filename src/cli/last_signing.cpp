#include "cli/last_signing.h"

#include "app/context.h"
#include "app/safe_file.h"

#include <QSettings>

#include <unistd.h>

namespace telva {

namespace {

QString recordPath(const AppContext& ctx) {
    return ctx.archiveBaseFolder + QStringLiteral("/last-signing.conf");
}

} // namespace

void saveLastSigning(const AppContext& ctx, const QString& in, const QString& out) {
    if (ctx.archiveBaseFolder.isEmpty())
        return;
    QSettings record(recordPath(ctx), QSettings::IniFormat);
    record.setValue(QStringLiteral("In"), in);
    record.setValue(QStringLiteral("Out"), out);
    record.sync();
}

bool loadLastSigning(const AppContext& ctx, QString& in, QString& out) {
    if (ctx.archiveBaseFolder.isEmpty())
        return false;
    // Only a regular file is read: a FIFO planted in its place would block the run.
    const int fd = openRegularFile(recordPath(ctx));
    if (fd < 0)
        return false;
    close(fd);
    const QSettings record(recordPath(ctx), QSettings::IniFormat);
    const QString storedIn = record.value(QStringLiteral("In")).toString();
    const QString storedOut = record.value(QStringLiteral("Out")).toString();
    if (storedIn.isEmpty() || storedOut.isEmpty())
        return false;
    in = storedIn;
    out = storedOut;
    return true;
}

} // namespace telva
