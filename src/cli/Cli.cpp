#include "cli/Cli.h"

#include "cli/TerminalText.h"
#include "platform/QuorlaneError.h"
#include "platform/WaitFor.h"
#include "switching/ApplicationServices.h"

#include <QIODevice>

QString cliHelpText()
{
    QString text;
    QTextStream help(&text);
    help << "Usage: quorlane [COMMAND] [OPTIONS]\n\n"
         << "Quorlane shows every MCP server Claude Code and Claude Desktop load, and switches them\n"
         << "off and on without losing their definitions.\n\n"
         << "Without a command, quorlane starts the tray application: '--preferences' opens it on\n"
         << "its preferences page, '--demo' runs it on a generated demo home.\n\n"
         << "Commands:\n";
    for (const CliCommand &command : cliCommands())
        help << "  " << command.name.leftJustified(14) << command.summary << '\n';
    help << "\nOptions:\n"
         << "  --help        Show this help\n"
         << "  --version     Show the version\n"
         << "\nRun 'quorlane COMMAND --help' for the options of a command.\n";
    return text;
}

int finishOutput(CliIO io, const QString &command, int code)
{
    io.out.flush();
    if (io.out.status() != QTextStream::Ok) {
        const QIODevice *device = io.out.device();
        io.err << "quorlane " << command << ": could not write the output"
               << (device ? QStringLiteral(": ") + device->errorString() : QString()) << '\n';
        code = ExitCode::failure;
    }
    io.err.flush();
    return code;
}

int runCli(const QStringList &arguments, CliIO io)
{
    ApplicationServices services;
    return runCli(arguments, io, services);
}

int runCli(const QStringList &arguments, CliIO io, ApplicationServices &services)
{
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help") ||
        arguments.first() == QLatin1String("-h") || arguments.first() == QLatin1String("help")) {
        io.out << cliHelpText();
        io.out.flush();
        return ExitCode::ok;
    }
    if (arguments.first() == QLatin1String("--version") || arguments.first() == QLatin1String("-v")) {
        io.out << "quorlane " << QUORLANE_VERSION << '\n';
        io.out.flush();
        return ExitCode::ok;
    }
    const QString name = arguments.first();
    for (const CliCommand &command : cliCommands()) {
        if (command.name == name) {
            int code = ExitCode::failure;
            try {
                code = Quorlane::waitFor(command.run(arguments.mid(1), io, services));
            } catch (const QuorlaneError &error) {
                io.err << TerminalText::printableLines(error.description()) << '\n';
            } catch (const std::exception &error) {
                io.err << "quorlane " << name << ": "
                       << TerminalText::printableLines(QString::fromUtf8(error.what())) << '\n';
            }
            return finishOutput(io, name, code);
        }
    }
    io.err << "quorlane: unknown command '" << TerminalText::printable(name) << "'\n"
           << "Run 'quorlane --help' for the list of commands.\n";
    io.err.flush();
    return ExitCode::usage;
}
