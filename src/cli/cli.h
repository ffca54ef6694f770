#pragma once

#include "app/context.h"
#include "cli/cli_frontend.h"

#include <QStringList>
#include <QTextStream>

namespace telva {

// One run of the terminal program: the same settings, archive and core as the window.
struct CliSession {
    CliSession(QTextStream& out, QTextStream& err, QTextStream& in)
        : out(out), err(err), in(in), frontend(out, err, in), ctx(frontend) {}

    QTextStream& out;
    QTextStream& err;
    QTextStream& in;
    CliFrontend frontend;
    AppContext ctx;

    // Prints a failure to standard error and gives the exit status 1.
    int fail(const QString& text);
};

// Runs the terminal program on its arguments (without the program name); streams can be
// swapped so tests run it in-process. Returns the exit status.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in);

// Takes "--name VALUE" out of args; nothing when absent. A missing value is an error.
std::optional<QString> takeOption(QStringList& args, const QString& name, bool* missingValue);
// Takes a flag out of args; true when it was there.
bool takeFlag(QStringList& args, const QString& name);

} // namespace telva
