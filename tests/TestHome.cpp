#include "TestHome.h"

#include "platform/Paths.h"
#include "platform/PreferenceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

TestHome::TestHome()
    : m_savedHome(qgetenv("HOME")), m_savedXdg(qgetenv("XDG_CONFIG_HOME")),
      m_savedManaged(qgetenv("QUORLANE_MANAGED_CONFIG")), m_savedClaudeDir(qgetenv("CLAUDE_CONFIG_DIR"))
{
    // A developer's moved Claude Code folder would take the tests' writes out of the temporary home.
    qunsetenv("CLAUDE_CONFIG_DIR");
    qputenv("HOME", path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (path() + QStringLiteral("/.config")).toUtf8());
    qputenv("QUORLANE_MANAGED_CONFIG", managedConfig().toUtf8());
    // Located once the environment points here, as the application locates them.
    m_supportDir = Paths::applicationSupportDirectory();
    m_desktopConfig = Paths::desktopConfigPath();
    m_stash = Paths::disabledGlobalConfigPath();
}

TestHome::~TestHome()
{
    // A settings write still queued would otherwise land in a folder about to be removed.
    PreferenceStore::waitForWrites();
    qputenv("HOME", m_savedHome);
    m_savedXdg.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", m_savedXdg);
    m_savedManaged.isNull() ? qunsetenv("QUORLANE_MANAGED_CONFIG")
                            : qputenv("QUORLANE_MANAGED_CONFIG", m_savedManaged);
    if (!m_savedClaudeDir.isNull())
        qputenv("CLAUDE_CONFIG_DIR", m_savedClaudeDir);
}

QString TestHome::write(const QString &relativeOrAbsolute, const QByteArray &bytes) const
{
    const QString target = QDir::isAbsolutePath(relativeOrAbsolute)
                               ? relativeOrAbsolute
                               : path() + QLatin1Char('/') + relativeOrAbsolute;
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("TestHome: cannot write %s", qPrintable(target));
    return target;
}

QByteArray TestHome::read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QProcessEnvironment TestHome::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("QUORLANE_MANAGED_CONFIG"), managedConfig());
    return env;
}

TestHome::Run TestHome::run(const QString &program, const QStringList &arguments,
                            const QString &workingDirectory, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(workingDirectory.isEmpty() ? path() : workingDirectory);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "timed out";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

TestHome::Run TestHome::runQuorlane(const QStringList &arguments, int timeoutMs) const
{
    return run(QStringLiteral(QUORLANE_BINARY), arguments, {}, timeoutMs);
}
