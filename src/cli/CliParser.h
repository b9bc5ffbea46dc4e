#pragma once

#include "cli/CliCommand.h"

#include <QCommandLineParser>

#include <optional>

// QCommandLineParser without its habit of exiting the process: parses a command's arguments,
// prints the help or the usage error itself, and tells the command how to go on.
class CliParser
{
public:
    CliParser(const QString &command, const QString &description);

    void addOption(const QCommandLineOption &option) { m_parser.addOption(option); }
    // --json, read back with json().
    void addJsonOption(const QString &description = QStringLiteral("Print one JSON object instead of text."))
    {
        addOption({QStringLiteral("json"), description});
    }
    void addPositional(const QString &name, const QString &description, const QString &syntax = {})
    {
        m_parser.addPositionalArgument(name, description, syntax);
    }

    // nullopt: go on. Otherwise the command returns this exit code (0 after --help, 2 after a
    // usage error, which has been printed with the help hint).
    [[nodiscard]] std::optional<int> parse(const QStringList &arguments, CliIO &io);
    // parse() for a command that takes options only: any positional argument is a usage error.
    [[nodiscard]] std::optional<int> parseOptionsOnly(const QStringList &arguments, CliIO &io);
    // Reports a usage error found by the command itself; returns the usage exit code.
    int usageError(CliIO &io, const QString &message) const;
    int unexpectedArgument(CliIO &io, const QString &argument) const;

    [[nodiscard]] bool isSet(const QString &name) const { return m_parser.isSet(name); }
    [[nodiscard]] bool json() const { return isSet(QStringLiteral("json")); }
    [[nodiscard]] QString value(const QString &name) const { return m_parser.value(name); }
    [[nodiscard]] QStringList positionalArguments() const { return m_parser.positionalArguments(); }
    // The help, its first line "Usage: quorlane COMMAND [options] …".
    [[nodiscard]] QString helpText() const;

private:
    QString m_command;
    QCommandLineParser m_parser;
};
