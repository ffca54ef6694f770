#include "cli/cli_steps.h"

#include "cli/cli.h"
#include "crypto/cert_identity.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"
#include "crypto/sign_encrypt.h"

namespace telva {

Result<QString> signReport(CliSession& session, const QString& in, const QString& out) {
    AppContext& ctx = session.ctx;
    if (const Status engine = crypto::ensureGostEngine(); !engine)
        return engine.error();
    // The saved provider when it still qualifies, else the only one there is.
    const crypto::ProviderList providers = crypto::FillProviderList(ctx.settings.provName);
    int chosen = providers.selected;
    if (chosen < 0 && providers.entries.size() == 1)
        chosen = 0;
    if (chosen < 0)
        return Result<QString>::fail(QStringLiteral("Не выбран криптопровайдер."));
    ctx.settings.provName = providers.entries[chosen].name;
    ctx.settings.provType = providers.entries[chosen].type;
    const Result<QString> done = crypto::SignAndEncrypt(ctx, in, out);
    if (!done)
        return Result<QString>::fail(done.text().isEmpty() ? QStringLiteral("Операция прервана.")
                                                           : done.text());
    ctx.showStatus(*done);
    return done;
}

Result<SentReport> sendReport(CliSession& session, SubmitInput input) {
    AppContext& ctx = session.ctx;
    input.organisation = crypto::identityLabel(ctx.settings.priv);
    const Result<SentReport> sent = SubmitReport(ctx, session.gateway(), input);
    if (sent)
        ctx.showStatus(sent->text);
    return sent;
}

} // namespace telva
