#pragma once

#include "CliCommand.h"

#include <QCommandLineParser>

#include <optional>

// QCommandLineParser without its habit of exiting the process: parses a command's arguments,
// prints the help or the usage error itself, and tells the command how to go on.
class CliParser
{
public:
    CliParser(const QString &command, const QString &description);

    void addOption(const QCommandLineOption &option) { m_parser.addOption(option); }
    void addPositional(const QString &name, const QString &description, const QString &syntax = {})
    {
        m_parser.addPositionalArgument(name, description, syntax);
    }

    // nullopt: go on. Otherwise the command returns this exit code (0 after --help, 2 after a
    // usage error, which has been printed with the help hint).
    [[nodiscard]] std::optional<int> parse(const QStringList &arguments, CliIO &io);
    // Reports a usage error found by the command itself; returns the usage exit code.
    int usageError(CliIO &io, const QString &message) const;

    [[nodiscard]] bool isSet(const QString &name) const { return m_parser.isSet(name); }
    [[nodiscard]] QString value(const QString &name) const { return m_parser.value(name); }
    [[nodiscard]] QStringList positionalArguments() const { return m_parser.positionalArguments(); }

private:
    QString m_command;
    QCommandLineParser m_parser;
};
