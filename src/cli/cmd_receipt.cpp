#include "app/safe_file.h"
#include "app/texts.h"
#include "cli/cli.h"
#include "cli/command.h"
#include "operations/receipt_check.h"
#include "operations/receipt_pdf.h"

#include <QFileInfo>
#include <QJsonObject>

namespace telva {

namespace {

class CheckReceiptCommand : public Command {
public:
    CheckReceiptCommand()
        : Command(QStringLiteral("check-receipt"), QStringLiteral("FILE"),
                  QStringLiteral("проверить квитанцию, записать архив (.zip), страницу и PDF"), 1,
                  1) {
        addOption(QStringLiteral("html"), QStringLiteral("OUT"),
                  QStringLiteral("записать страницу квитанции в файл OUT"));
        addOption(QStringLiteral("pdf"), QStringLiteral("OUT"),
                  QStringLiteral("записать квитанцию с данными о подписи в PDF-файл OUT"));
        addJsonFlag();
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const int errorsBefore = session.frontend.errorCount;
        const Result<crypto::CheckedReceipt> checked =
            crypto::CheckReceipt(session.ctx, args.positionalArguments().first());
        if (!checked) {
            // A damaged archive has already been reported through the error box.
            if (session.frontend.errorCount > errorsBefore && !session.json)
                return ExitFailed;
            return session.fail(checked.text());
        }
        if (args.isSet(QStringLiteral("html"))) {
            const QString html = args.value(QStringLiteral("html"));
            if (!writeFileReplacing(html, checked->pageBytes, 0666))
                return session.fail(writeErrorText(html));
        }
        if (args.isSet(QStringLiteral("pdf"))) {
            const QString id = QFileInfo(checked->archivePath).completeBaseName();
            const Status written =
                crypto::writeReceiptPdf(*checked, id, args.value(QStringLiteral("pdf")));
            if (!written)
                return session.fail(written.text());
        }
        if (session.json)
            return session.printJson(QJsonObject{{QStringLiteral("archive"), checked->archivePath},
                                                 {QStringLiteral("signer"), checked->signer}});
        return ExitDone;
    }
};

} // namespace

void addReceiptCommands(CommandList& commands) {
    commands.push_back(std::make_unique<CheckReceiptCommand>());
}

} // namespace telva
