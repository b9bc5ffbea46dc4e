#include "ShellRunner.h"

#include <QProcess>
#include <QStringDecoder>

QString runShell(const QString &commandLine)
{
    QProcess process;
    // Standard error gets its own pipe, which nobody reads; discard it so a chatty command
    // cannot fill the pipe and stall.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), commandLine});
    if (!process.waitForStarted())
        return {};
    process.closeWriteChannel();
    // QProcess drains the pipe into its own buffer while it waits, so large output cannot stall.
    process.waitForFinished(-1);
    const QByteArray output = process.readAllStandardOutput();

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(output);
    if (decoder.hasError())
        return {};
    return text;
}
