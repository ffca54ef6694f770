#include "app/report_kind.h"
#include "app/settings_table.h"
#include "cli/cli.h"
#include "cli/commands.h"

namespace telva {

int cmdKind(CliSession& session, QStringList args) {
    if (args.size() != 1)
        return session.fail(QStringLiteral("Использование: telva-cli kind FILE"));
    const Result<const ReportKind*> kind = detectKindOfFile(args.first());
    if (!kind)
        return session.fail(kindErrorText(kind.text()));
    session.ctx.settings.encExt = (*kind)->encExt;
    session.out << (*kind)->displayName << '\n'
                << (*kind)->encExt << '\n'
                << outputFileName(args.first(), (*kind)->encExt) << Qt::endl;
    return 0;
}

int cmdSettings(CliSession& session, QStringList args) {
    if (!args.isEmpty())
        return session.fail(QStringLiteral("Использование: telva-cli settings"));
    session.out << settingsListing(session.ctx.settings);
    session.out.flush();
    return 0;
}

} // namespace telva
