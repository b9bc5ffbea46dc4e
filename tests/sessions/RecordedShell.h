#pragma once

#include "sessions/ShellRunner.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <memory>

// Replays the recorded output of a machine's ps and lsof (tests/data/sessions) and remembers
// which command lines were asked for.
class RecordedShell
{
public:
    explicit RecordedShell(const QString &file)
    {
        QFile recording(file);
        if (!recording.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(file));
        QString command;
        for (const QString &line : QString::fromUtf8(recording.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("$ "))) {
                command = line.mid(2);
                m_outputs->insert(command, QString());
            } else if (!command.isEmpty()) {
                (*m_outputs)[command] += line + QLatin1Char('\n');
            }
        }
    }

    [[nodiscard]] ShellRunner runner() const
    {
        return [outputs = m_outputs, asked = m_asked](const QString &command) {
            asked->append(command);
            return outputs->value(command);
        };
    }
    [[nodiscard]] const QStringList &asked() const { return *m_asked; }

private:
    std::shared_ptr<QHash<QString, QString>> m_outputs = std::make_shared<QHash<QString, QString>>();
    std::shared_ptr<QStringList> m_asked = std::make_shared<QStringList>();
};
