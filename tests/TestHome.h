#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A temporary home for one test: HOME, XDG_CONFIG_HOME and QUORLANE_MANAGED_CONFIG point into
// a fresh folder for the object's lifetime and CLAUDE_CONFIG_DIR is unset, so nothing a test
// does reaches the real user files. The folders inside it come from the same path functions the
// application uses, so they are the macOS ones on a Mac.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString claudeJson() const { return path() + QStringLiteral("/.claude.json"); }
    // The application support folder: ~/.config on Linux, ~/Library/Application Support on macOS.
    [[nodiscard]] QString configDir() const { return m_supportDir; }
    [[nodiscard]] QString desktopConfig() const { return m_desktopConfig; }
    [[nodiscard]] QString managedConfig() const { return path() + QStringLiteral("/managed-mcp.json"); }
    [[nodiscard]] QString stash() const { return m_stash; }

    // Writes `bytes` to `relativeOrAbsolute` (relative to the home), creating folders.
    QString write(const QString &relativeOrAbsolute, const QByteArray &bytes) const;
    [[nodiscard]] static QByteArray read(const QString &path);

    // The environment a child process needs to live in this home.
    [[nodiscard]] QProcessEnvironment environment() const;

    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // Runs the real quorlane binary (or another program) in this home.
    Run runQuorlane(const QStringList &arguments, int timeoutMs = 60000) const;
    Run run(const QString &program, const QStringList &arguments, const QString &workingDirectory = {},
            int timeoutMs = 60000) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_savedHome;
    QByteArray m_savedXdg;
    QByteArray m_savedManaged;
    QByteArray m_savedClaudeDir;
    QString m_supportDir;
    QString m_desktopConfig;
    QString m_stash;
};
