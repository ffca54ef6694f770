#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace telva {

struct CliSession;

// One command of the terminal program. Its usage line and its help are built from the
// options it declares, so what it accepts and what it shows cannot part.
class Command {
public:
    // name: one word, or a group and a word ("reports list"); arguments: the positional
    // arguments as shown ("ID", "IN [OUT]"), accepted between minArgs and maxArgs of them.
    Command(QString name, QString arguments, QString description, int minArgs = 0, int maxArgs = 0);
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const QString& name() const { return name_; }
    const QString& description() const { return description_; }
    const QList<QCommandLineOption>& options() const { return options_; }
    bool acceptsArgumentCount(qsizetype count) const;
    bool hasOption(const QString& name) const;

    // The name, the options and the arguments on one line.
    QString synopsis() const;
    // "Использование: telva-cli " + synopsis, the description and one line per option.
    QString help() const;

    // Runs with the parsed command line; returns the exit status.
    virtual int run(CliSession& session, const QCommandLineParser& args) const = 0;

protected:
    void addOption(const QString& name, const QString& valueName, const QString& description);
    void addFlag(const QString& name, const QString& description);
    // --json: one JSON document on standard output instead of lines.
    void addJsonFlag();

private:
    QString name_;
    QString arguments_;
    QString description_;
    int minArgs_;
    int maxArgs_;
    QList<QCommandLineOption> options_;
};

using CommandList = std::vector<std::unique_ptr<Command>>;

// Each file of commands adds its own.
void addAppCommands(CommandList& commands);
void addCertCommands(CommandList& commands);
void addSignCommands(CommandList& commands);
void addReceiptCommands(CommandList& commands);
void addNetworkCommands(CommandList& commands);
void addReportCommands(CommandList& commands);

} // namespace telva
