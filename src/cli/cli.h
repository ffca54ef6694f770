#pragma once

#include "app/context.h"
#include "cli/cli_frontend.h"
#include "gateway/http_client.h"

#include <QJsonValue>
#include <QStringList>
#include <QTextStream>
#include <memory>

namespace telva {

class Command;

// Exit statuses of the terminal program.
enum ExitCode {
    ExitDone = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitProcessing = 3,
    // The settings store cannot be read; nothing was done.
    ExitSettingsUnreadable = 4,
};

// One run of the terminal program: the same settings, archive and core as the window.
struct CliSession {
    CliSession(QTextStream& output, QTextStream& errors, QTextStream& input)
        : out(output), err(errors), in(input), frontend(output, errors, input), ctx(frontend) {}

    QTextStream& out;
    QTextStream& err;
    QTextStream& in;
    CliFrontend frontend;
    AppContext ctx;
    // The connection to the fund's sites, made at the first request and kept for the run.
    std::unique_ptr<HttpClient> http;
    // The command that runs, for its usage line.
    const Command* command = nullptr;
    // --json was given: outcomes and failures are JSON documents on standard output.
    bool json = false;

    // Prints a failure (to standard error, or as {"error": text} with --json) and gives 1.
    int fail(const QString& text);
    // Prints the command's usage line to standard error and gives 2.
    int usage();
    // Prints one JSON document (an object or an array) on a line of its own and gives 0.
    int printJson(const QJsonValue& document);
    // The connection, opening the site root before the first gateway request as the window
    // does at start.
    HttpClient& gateway();
};

// Runs the terminal program on its arguments (without the program name); streams can be
// swapped so tests run it in-process. Returns the exit status.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in);

} // namespace telva
