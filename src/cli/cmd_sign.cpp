#include "app/report_kind.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/last_signing.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"
#include "crypto/sign_encrypt.h"

#include <QFileInfo>

namespace telva {

int cmdSign(CliSession& session, QStringList args) {
    const QString usage =
        QStringLiteral("Использование: telva-cli sign [--answer yes|no] IN [OUT]");
    bool missing = false;
    const std::optional<QString> answer = takeOption(args, QStringLiteral("--answer"), &missing);
    if (missing || args.isEmpty() || args.size() > 2)
        return session.fail(usage);
    if (answer) {
        if (*answer != QLatin1String("yes") && *answer != QLatin1String("no"))
            return session.fail(usage);
        session.frontend.fixedAnswer = *answer == QLatin1String("yes");
    }
    AppContext& ctx = session.ctx;
    const QString in = args.at(0);
    QString out = args.size() > 1 ? args.at(1) : QString();
    if (out.isEmpty()) {
        // As the window does when the input file is picked: its kind names the output.
        const Result<const ReportKind*> kind = detectKindOfFile(in);
        if (!kind)
            return session.fail(kindErrorText(kind.text()));
        ctx.settings.encExt = (*kind)->encExt;
        out = outputFileName(in, (*kind)->encExt);
    }

    if (const Status engine = crypto::ensureGostEngine(); !engine)
        return session.fail(engine.text());
    // The saved provider when it still qualifies, else the only one there is.
    const crypto::ProviderList providers = crypto::FillProviderList(ctx.settings.provName);
    int chosen = providers.selected;
    if (chosen < 0 && providers.entries.size() == 1)
        chosen = 0;
    if (chosen < 0)
        return session.fail(QStringLiteral("Не выбран криптопровайдер."));
    ctx.settings.provName = providers.entries[chosen].name;
    ctx.settings.provType = providers.entries[chosen].type;

    session.frontend.lastStatus.clear();
    const bool ok = crypto::SignAndEncrypt(ctx, in, out);
    if (!ok) {
        const QString text = session.frontend.lastStatus;
        return session.fail(text.isEmpty() ? QStringLiteral("Операция прервана.") : text);
    }
    saveLastSigning(ctx, QFileInfo(in).absoluteFilePath(), QFileInfo(out).absoluteFilePath());
    session.out << session.frontend.lastStatus << '\n' << out << Qt::endl;
    return 0;
}

} // namespace telva
