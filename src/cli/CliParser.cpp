#include "CliParser.h"

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
        io.out << m_parser.helpText();
        io.out.flush();
        return ExitCode::ok;
    }
    return std::nullopt;
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
