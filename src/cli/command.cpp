#include "cli/command.h"

#include <algorithm>

namespace telva {

Command::Command(QString name, QString arguments, QString description, int minArgs, int maxArgs)
    : name_(std::move(name)), arguments_(std::move(arguments)),
      description_(std::move(description)), minArgs_(minArgs), maxArgs_(maxArgs) {}

bool Command::acceptsArgumentCount(qsizetype count) const {
    return count >= minArgs_ && count <= maxArgs_;
}

bool Command::hasOption(const QString& name) const {
    return std::any_of(options_.begin(), options_.end(), [&](const QCommandLineOption& option) {
        return option.names().contains(name);
    });
}

QString Command::synopsis() const {
    QString line = name_;
    for (const QCommandLineOption& option : options_) {
        line += QStringLiteral(" [--") + option.names().first();
        if (!option.valueName().isEmpty())
            line += QLatin1Char(' ') + option.valueName();
        line += QLatin1Char(']');
    }
    if (!arguments_.isEmpty())
        line += QLatin1Char(' ') + arguments_;
    return line;
}

QString Command::help() const {
    QString text = QStringLiteral("Использование: telva-cli ") + synopsis() + QLatin1Char('\n') +
                   description_ + QLatin1Char('\n');
    for (const QCommandLineOption& option : options_) {
        QString head = QStringLiteral("--") + option.names().first();
        if (!option.valueName().isEmpty())
            head += QLatin1Char(' ') + option.valueName();
        text += QStringLiteral("  ") + head.leftJustified(20) + QLatin1Char(' ') +
                option.description() + QLatin1Char('\n');
    }
    return text;
}

void Command::addOption(const QString& name, const QString& valueName, const QString& description) {
    options_.append(QCommandLineOption(name, description, valueName));
}

void Command::addFlag(const QString& name, const QString& description) {
    options_.append(QCommandLineOption(name, description));
}

void Command::addJsonFlag() {
    addFlag(QStringLiteral("json"), QStringLiteral("вывести итог одним документом JSON"));
}

} // namespace telva
