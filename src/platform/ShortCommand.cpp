#include "platform/ShortCommand.h"

#include "platform/ChildProcess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringDecoder>

namespace ShortCommand {

Result run(const QString &program, const QStringList &arguments, const Options &options)
{
    Result result;
    const QString path =
        program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return result;
    const auto child =
        ChildProcess::start(path, arguments, QProcessEnvironment::systemEnvironment().toStringList(),
                            options.input.has_value(), options.errorsToOutput);
    if (!child)
        return result;
    result.started = true;
    if (options.input) {
        child->write(*options.input);
        child->closeInput();
    }
    const QDeadlineTimer deadline(options.limit);
    for (;;) {
        const auto left = std::chrono::milliseconds(deadline.remainingTime());
        const ChildProcess::ReadStatus status = child->read(result.output, left);
        if (status == ChildProcess::ReadStatus::endOfStream)
            break;
        if (status == ChildProcess::ReadStatus::timedOut || deadline.hasExpired()) {
            result.timedOut = true;
            break;
        }
    }
    if (!result.timedOut)
        result.timedOut = !child->waitForExit(std::chrono::milliseconds(deadline.remainingTime()));
    // Also ends whatever the command left running in its group.
    child->terminate();
    result.exitCode = result.timedOut ? std::nullopt : child->exitCode();
    return result;
}

QString shellOutput(const QString &commandLine, const QStringList &positional,
                    std::chrono::milliseconds limit)
{
    const Result result =
        run(QStringLiteral("/bin/bash"), QStringList{QStringLiteral("-c"), commandLine} + positional,
            {limit, std::nullopt, false});
    if (!result.started || result.timedOut)
        return {};
    // Output that is not UTF-8 counts as no answer: a half-decoded path would mislead.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(result.output);
    if (decoder.hasError())
        return {};
    return text;
}

} // namespace ShortCommand
