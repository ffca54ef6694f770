#include "app/report_kind.h"
#include "cli/cli.h"
#include "cli/command.h"
#include "cli/last_signing.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"
#include "crypto/sign_encrypt.h"

#include <QFileInfo>

namespace telva {

namespace {

class SignCommand : public Command {
public:
    SignCommand()
        : Command(QStringLiteral("sign"), QStringLiteral("IN [OUT]"),
                  QStringLiteral("подписать и зашифровать файл"), 1, 2) {
        addOption(QStringLiteral("answer"), QStringLiteral("yes|no"),
                  QStringLiteral("ответ на вопрос о перезаписи выходного файла"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        if (args.isSet(QStringLiteral("answer"))) {
            const QString answer = args.value(QStringLiteral("answer"));
            if (answer != QLatin1String("yes") && answer != QLatin1String("no"))
                return session.usage();
            session.frontend.fixedAnswer = answer == QLatin1String("yes");
        }
        AppContext& ctx = session.ctx;
        const QString in = args.positionalArguments().at(0);
        QString out = args.positionalArguments().value(1);
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

        const Result<QString> done = crypto::SignAndEncrypt(ctx, in, out);
        if (!done)
            return session.fail(done.text().isEmpty() ? QStringLiteral("Операция прервана.")
                                                      : done.text());
        ctx.showStatus(*done);
        saveLastSigning(ctx, QFileInfo(in).absoluteFilePath(), QFileInfo(out).absoluteFilePath());
        session.out << *done << '\n' << out << Qt::endl;
        return ExitDone;
    }
};

} // namespace

void addSignCommands(CommandList& commands) {
    commands.push_back(std::make_unique<SignCommand>());
}

} // namespace telva
