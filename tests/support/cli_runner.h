#pragma once

#include <QString>
#include <QStringList>

namespace telva::test {

// The outcome of one in-process run of the terminal program.
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs telva-cli's command dispatcher in-process with swapped streams. Tests that use it
// link telva-cli-lib.
CliRun runCliInProcess(const QStringList& args, const QString& input = QString());

} // namespace telva::test
