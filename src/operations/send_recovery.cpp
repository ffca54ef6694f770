#include "operations/send_recovery.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/safe_file.h"
#include "archive/report_archive.h"
#include "archive/send_journal.h"
#include "archive/sent_index.h"
#include "archive/sent_log.h"
#include "operations/report_filing.h"
#include "operations/submission.h"

#include <QDir>
#include <QFileInfo>

namespace telva {

namespace {

void recordLoggedIdentifiers(AppContext& ctx, SendJournal& journal) {
    const std::vector<SendIntent> open = journal.unconfirmed();
    if (open.empty())
        return;
    const std::vector<SentLogLine> log = readSentLog();
    for (const SendIntent& intent : open) {
        for (const SentLogLine& line : log) {
            if (line.token != intent.token || !isAcceptedReportId(line.reportId))
                continue;
            const Status indexed =
                SentIndex::record(ctx.archiveBaseFolder, {intent.outputHash, intent.inputHash},
                                  {line.sendDate, line.reportId});
            if (!indexed)
                logEvent(indexed.text());
            else
                (void)journal.recorded(intent.token, line.reportId);
            break;
        }
    }
}

void removeArchiveTemporaries(const QString& base) {
    removeStaleTemporaries(base);
    const QString archive = archiveFolder(base);
    removeStaleTemporaries(archive);
    for (const QString& folder : QDir(archive).entryList(QDir::Dirs | QDir::Hidden |
                                                         QDir::NoDotAndDotDot | QDir::NoSymLinks))
        removeStaleTemporaries(archive + folder);
}

} // namespace

void RecoverSends(AppContext& ctx) {
    if (ctx.archiveBaseFolder.isEmpty())
        return;
    const QString path = SendJournal::pathFor(ctx.settings.activeMode);
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        SendJournal journal(path);
        if (journal.lock()) {
            recordLoggedIdentifiers(ctx, journal);
            for (const SendIntent& intent : journal.unfiled())
                if (fileReport(ctx, intent.id, intent, true))
                    (void)journal.closed(intent.token);
            journal.unlock();
        }
    }
    removeArchiveTemporaries(ctx.archiveBaseFolder);
}

} // namespace telva
