#include "cli/CliParser.h"

#include <QCoreApplication>

CliParser::CliParser(const QString &command, const QString &description) : m_command(command)
{
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

std::optional<int> CliParser::parse(const QStringList &arguments, CliIO &io)
{
    if (!m_parser.parse(QStringList{QStringLiteral("quorlane ") + m_command} + arguments))
        return usageError(io, m_parser.errorText());
    if (m_parser.isSet(QStringLiteral("help"))) {
        io.out << helpText();
        io.out.flush();
        return ExitCode::ok;
    }
    return std::nullopt;
}

QString CliParser::helpText() const
{
    // QCommandLineParser names the running executable ("Usage: /usr/local/bin/quorlane
    // [options]"), which says neither how to call it nor which command this is.
    QString text = m_parser.helpText();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString usage = text.left(lineEnd);
    const QStringList all = QCoreApplication::arguments();
    const QString executable = all.isEmpty() ? QString() : all.constFirst();
    const QString prefix = QStringLiteral("Usage: ") + executable;
    if (!executable.isEmpty() && usage.startsWith(prefix))
        text.replace(0, prefix.size(), QStringLiteral("Usage: quorlane ") + m_command);
    return text;
}

std::optional<int> CliParser::parseOptionsOnly(const QStringList &arguments, CliIO &io)
{
    if (const auto exit = parse(arguments, io))
        return exit;
    if (!m_parser.positionalArguments().isEmpty())
        return unexpectedArgument(io, m_parser.positionalArguments().first());
    return std::nullopt;
}

int CliParser::usageError(CliIO &io, const QString &message) const
{
    io.err << "quorlane " << m_command << ": " << message << '\n'
           << "Try 'quorlane " << m_command << " --help' for more information.\n";
    io.err.flush();
    return ExitCode::usage;
}

int CliParser::unexpectedArgument(CliIO &io, const QString &argument) const
{
    return usageError(io, QStringLiteral("unexpected argument '%1'").arg(argument));
}
