#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace telva {

// One send of a report, from before its body leaves until it is filed in the archive.
struct SendIntent {
    QByteArray token; // names the send in the journal's later lines
    qint64 time = 0;  // when it began, seconds since the epoch
    QByteArray outputHash;
    QByteArray inputHash;
    QString outputFile;
    QString inputFile;
    QString organisation;
    QString answer; // the gateway's answer, kept when no identifier could be read from it
    QString id;     // the identifier, once it is recorded
};

// The journal of sends of one work mode, "$XDG_STATE_HOME/KVB/TELVA/<mode>/send-journal.tsv".
// An intent is appended (and synced) before a report leaves; the identifier is noted once it
// is recorded, and the filing once the report's folder is whole. So after a kill, a full disk
// or a lost answer the program knows which reports may be at the fund without a number
// (unconfirmed) and which were not filed completely. Every change is made under the file's
// lock (flock), so programs sending at once see each other's sends; a journal with nothing
// open is emptied.
class SendJournal {
public:
    static QString pathFor(const QString& activeMode);
    explicit SendJournal(QString path);
    ~SendJournal();
    SendJournal(const SendJournal&) = delete;
    SendJournal& operator=(const SendJournal&) = delete;

    // Holds the journal's lock until unlock(): checks and the intent that follows them are
    // one step for programs sending at once. Calls nest.
    Status lock();
    void unlock();

    // Appends a new intent (its token is made here) and returns it.
    Result<SendIntent> begin(SendIntent intent);
    // The gateway's answer that gave no usable identifier.
    Status noteAnswer(const QByteArray& token, const QString& answer);
    // The identifier was recorded: the send is no longer unconfirmed.
    Status recorded(const QByteArray& token, const QString& id);
    // The report is filed, or the gateway refused it: the send is over.
    Status closed(const QByteArray& token);

    // Sends that may have reached the gateway without an identifier recorded.
    std::vector<SendIntent> unconfirmed();
    // Sends recorded under an identifier whose filing did not finish.
    std::vector<SendIntent> unfiled();
    // An unconfirmed send of either hash.
    std::optional<SendIntent> unconfirmedOf(const QByteArray& outputHash,
                                            const QByteArray& inputHash);

private:
    Status append(const QList<QByteArray>& fields);
    std::vector<SendIntent> read(bool recordedOnes);
    QByteArray contents();

    QString path_;
    int fd_ = -1;
    int depth_ = 0;
};

} // namespace telva
