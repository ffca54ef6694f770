#pragma once

#include "app/context.h"
#include "app/result.h"

#include <QList>
#include <QString>
#include <optional>

namespace telva {

// What still stands between the person and a first signed report, in the order to mend it.
enum class SigningGap {
    PersonalCertificate, // none chosen, or the chosen one is gone from its store
    PersonalKey,         // the chosen personal certificate has no key here
    FundCertificate,     // the fund's certificate is not chosen or not installed
};

QList<SigningGap> SigningGaps(const Settings& settings);

// What the signing page says about a gap: what is missing and what to do.
QString signingGapText(SigningGap gap);

// The personal certificate as the signing page names it (owner, valid until); nothing when
// none is chosen or it is gone from its store.
std::optional<QString> chosenPersonalText(const Settings& settings);

// Imports the certificate files the person named into the personal store and, when its key
// came along, makes it the personal certificate; the text to show.
Result<QString> ImportPersonalCertificate(AppContext& ctx, const QString& certificatePath,
                                          const QString& keyPath);

} // namespace telva
