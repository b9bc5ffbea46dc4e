#include "TestHome.h"
#include "app/AppPreferences.h"
#include "app/LoginItemManager.h"
#include "platform/PreferenceStore.h"
#include "platform/linux/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

// Reading an Exec value the way a session starter does, written from the desktop entry rules
// rather than from the writer: first the string escapes, then the quoting, then "%%".
QString unescapeValue(const QString &value)
{
    QString result;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            result += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            result += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            result += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            result += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            result += QLatin1Char('\\');
        else
            result += QLatin1Char('\\') + next;
    }
    return result;
}

// nullopt when the quoting is broken or a field code other than "%%" appears.
std::optional<QStringList> execArguments(const QString &exec)
{
    const QString text = unescapeValue(exec);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < text.size() &&
                QStringLiteral("\"`$\\").contains(text[i + 1]))
                current += text[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                     c == QLatin1Char('\\'))
                return std::nullopt;
            else
                current += c;
        } else if (c == QLatin1Char(' ')) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
        } else if (c == QLatin1Char('"')) {
            quoted = inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    for (QString &argument : arguments) {
        QString expanded;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] != QLatin1Char('%')) {
                expanded += argument[i];
            } else if (i + 1 < argument.size() && argument[i + 1] == QLatin1Char('%')) {
                expanded += QLatin1Char('%');
                ++i;
            } else {
                return std::nullopt;
            }
        }
        argument = expanded;
    }
    return arguments;
}

// The value of `key` in the entry's [Desktop Entry] group.
QString entryValue(const QByteArray &entry, const QByteArray &key)
{
    for (const QByteArray &line : entry.split('\n')) {
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1));
    }
    return {};
}

QVariant storedLaunchAtLogin()
{
    return PreferenceStore::open()->value(PreferenceKeys::launchAtLogin);
}

QString entryPath()
{
    return AutostartEntry::filePath();
}

// Makes the autostart folder impossible to create: a plain file sits where it should be.
void blockAutostartFolder(const TestHome &home)
{
    home.write(AutostartEntry::directory(), "not a folder");
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
        const QString &workingDirectory)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        result.err = "timed out";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QJsonObject prefsJson(const QString &program, const QProcessEnvironment &environment, const QString &home)
{
    return QJsonDocument::fromJson(run(program, {"prefs", "--json"}, environment, home).out).object();
}

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void execArgument_data();
    void execArgument();

    void statusReflectsTheFile_data();
    void statusReflectsTheFile();
    void enableAndDisable();
    void disableWithoutAnEntrySucceeds();
    void refusedEnableLeavesTheKey();
    void refusedDisableLeavesTheKey();

    void launchAtLoginIsDeferred();
    void launchAtLoginRefusedKeepsTheUsersChoice();

    void realBinaryEndToEnd_data();
    void realBinaryEndToEnd();
    void realBinaryReportsARefusedRegistration();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestLoginItem::execArgument_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("expected");

    // Expected texts worked out by hand from the desktop entry rules.
    QTest::newRow("plain path") << "/usr/bin/quorlane"
                                << "/usr/bin/quorlane";
    QTest::newRow("space") << "/opt/my apps/quorlane"
                           << "\"/opt/my apps/quorlane\"";
    QTest::newRow("dollar sign") << "/a$b/quorlane"
                                 << "\"/a\\\\$b/quorlane\"";
    QTest::newRow("backslash") << "/a\\b/quorlane"
                               << "\"/a\\\\\\\\b/quorlane\"";
    QTest::newRow("double quote") << "/a\"b/quorlane"
                                  << "\"/a\\\\\"b/quorlane\"";
    QTest::newRow("backtick") << "/a`b/quorlane"
                              << "\"/a\\\\`b/quorlane\"";
    QTest::newRow("single quote") << "/a'b/quorlane"
                                  << "\"/a'b/quorlane\"";
    QTest::newRow("percent alone") << "/a%b/quorlane"
                                   << "/a%%b/quorlane";
    QTest::newRow("percent and space") << "/a %b/quorlane"
                                       << "\"/a %%b/quorlane\"";
    QTest::newRow("tab") << "/a\tb"
                         << "\"/a\\tb\"";
    QTest::newRow("newline") << "/a\nb"
                             << "\"/a\\nb\"";
    QTest::newRow("equals sign needs no quotes") << "/a=b/quorlane"
                                                 << "/a=b/quorlane";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/home/zo\u00eb/quorlane")
                               << QString::fromUtf8("/home/zo\u00eb/quorlane");
}

void TestLoginItem::execArgument()
{
    QFETCH(QString, argument);
    QFETCH(QString, expected);
    const QString written = AutostartEntry::execArgument(argument);
    QCOMPARE(written, expected);
    QCOMPARE(execArguments(written), std::optional<QStringList>(QStringList{argument}));
}

void TestLoginItem::statusReflectsTheFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("enabled");

    const QByteArray ours = AutostartEntry::text(QStringLiteral("/usr/bin/quorlane"));
    QTest::newRow("no entry") << QByteArray() << false;
    QTest::newRow("the entry Quorlane writes") << ours << true;
    QTest::newRow("hidden") << ours + "Hidden=true\n" << false;
    QTest::newRow("switched off in the session settings")
        << QByteArray(ours).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false")
        << false;
    QTest::newRow("Hidden=false") << ours + "Hidden=false\n" << true;
    QTest::newRow("Hidden in another group") << ours + "[Desktop Action quit]\nHidden=true\n" << true;
    QTest::newRow("not a desktop entry") << QByteArray("garbage\n") << false;
    QTest::newRow("empty file") << QByteArray("\n") << false;
}

void TestLoginItem::statusReflectsTheFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, enabled);
    if (!content.isEmpty())
        m_home->write(entryPath(), content);
    // Creation overwrites whatever the key said with the real status.
    PreferenceStore::write(PreferenceKeys::launchAtLogin, !enabled);
    const LoginItemManager manager;
    QCOMPARE(manager.isEnabled(), enabled);
    QCOMPARE(storedLaunchAtLogin(), QVariant(enabled));
}

void TestLoginItem::enableAndDisable()
{
    LoginItemManager manager;
    QVERIFY(!manager.isEnabled());
    QSignalSpy changed(&manager, &LoginItemManager::isEnabledChanged);
    manager.enable();
    QVERIFY(manager.isEnabled());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(storedLaunchAtLogin(), QVariant(true));
    QVERIFY(QFileInfo(entryPath()).isFile());
    QVERIFY(LoginItemManager().isEnabled());
    // An entry written in this process starts this executable.
    const auto arguments = execArguments(entryValue(TestHome::read(entryPath()), "Exec"));
    QCOMPARE(arguments, std::optional<QStringList>(QStringList{QCoreApplication::applicationFilePath()}));

    manager.disable();
    QVERIFY(!manager.isEnabled());
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(!LoginItemManager().isEnabled());
}

void TestLoginItem::disableWithoutAnEntrySucceeds()
{
    LoginItemManager manager;
    PreferenceStore::write(PreferenceKeys::launchAtLogin, true);
    manager.disable();
    QVERIFY(!manager.isEnabled());
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
}

void TestLoginItem::refusedEnableLeavesTheKey()
{
    blockAutostartFolder(*m_home);
    LoginItemManager manager;
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    // Whatever the key holds now must survive the refused change.
    PreferenceStore::write(PreferenceKeys::launchAtLogin, true);
    QSignalSpy changed(&manager, &LoginItemManager::isEnabledChanged);
    manager.enable();
    QVERIFY(!manager.isEnabled());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(storedLaunchAtLogin(), QVariant(true));
}

void TestLoginItem::refusedDisableLeavesTheKey()
{
    // A non-empty folder where the entry would be: it cannot be read as an entry nor removed.
    m_home->write(entryPath() + QStringLiteral("/inside"), "x");
    LoginItemManager manager;
    QVERIFY(!manager.isEnabled());
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    manager.disable();
    QVERIFY(manager.isEnabled());
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    QVERIFY(QFileInfo(entryPath()).isDir());
}

void TestLoginItem::launchAtLoginIsDeferred()
{
    AppPreferences preferences;
    QSignalSpy finished(&preferences, &AppPreferences::loginItemChangeFinished);
    preferences.setLaunchAtLogin(true);
    // Written at once; the registration waits for a later turn of the event loop.
    QCOMPARE(storedLaunchAtLogin(), QVariant(true));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first(), QVariant(true));
    QVERIFY(QFileInfo(entryPath()).isFile());
    QCOMPARE(storedLaunchAtLogin(), QVariant(true));

    preferences.setLaunchAtLogin(false);
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    QVERIFY(QFile::exists(entryPath()));
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.last().first(), QVariant(false));
    QVERIFY(!QFile::exists(entryPath()));
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    QCOMPARE(preferences.launchAtLogin(), false);
}

void TestLoginItem::launchAtLoginRefusedKeepsTheUsersChoice()
{
    blockAutostartFolder(*m_home);
    AppPreferences preferences;
    QSignalSpy finished(&preferences, &AppPreferences::loginItemChangeFinished);
    preferences.setLaunchAtLogin(true);
    QCOMPARE(storedLaunchAtLogin(), QVariant(true));
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first(), QVariant(false));
    // The key tells the real status; the setting keeps what the user chose until the next start.
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
    QCOMPARE(preferences.launchAtLogin(), true);
    QCOMPARE(AppPreferences().launchAtLogin(), false);
}

void TestLoginItem::realBinaryEndToEnd_data()
{
    // `folder`: empty to run the build's own binary, else the name of a folder a copy of it is
    // run from. `xdg`: "home" (TestHome's), "elsewhere", "unset" or "relative".
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("xdg");

    QTest::newRow("this build, XDG_CONFIG_HOME set") << ""
                                                     << "elsewhere";
    QTest::newRow("this build, XDG_CONFIG_HOME unset") << ""
                                                       << "unset";
    QTest::newRow("this build, relative XDG_CONFIG_HOME ignored") << ""
                                                                  << "relative";
    QTest::newRow("copy in a folder with quotes, $, `, %, \\ and spaces")
        << QStringLiteral("my \"apps\" 'q' $HOME `id` 100% back\\slash (1)") << "home";
}

void TestLoginItem::realBinaryEndToEnd()
{
    QFETCH(QString, folder);
    QFETCH(QString, xdg);

    QString program = QFileInfo(QStringLiteral(QUORLANE_BINARY)).canonicalFilePath();
    if (!folder.isEmpty()) {
        const QString directory = m_home->path() + QLatin1Char('/') + folder;
        QVERIFY(QDir().mkpath(directory));
        const QString copy = directory + QStringLiteral("/quorlane");
        QVERIFY(QFile::copy(program, copy));
        program = copy;
    }

    QProcessEnvironment environment = m_home->environment();
    QString autostart = m_home->path() + QStringLiteral("/.config/autostart");
    if (xdg == QLatin1String("elsewhere")) {
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->path() + QStringLiteral("/xdg"));
        autostart = m_home->path() + QStringLiteral("/xdg/autostart");
    } else if (xdg == QLatin1String("unset")) {
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    } else if (xdg == QLatin1String("relative")) {
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("relative/config"));
    }
    const QString entry = autostart + QStringLiteral("/dev.quorlane.Quorlane.desktop");

    Run result = run(program, {"prefs", "set", "launchAtLogin", "true"}, environment, m_home->path());
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QVERIFY2(QFileInfo(entry).isFile(), qPrintable(entry));
    QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/relative")));
    QCOMPARE(prefsJson(program, environment, m_home->path()).value(QLatin1String("launchAtLogin")),
             QJsonValue(true));

    // A desktop entry validator agrees the file is well formed.
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    QVERIFY2(!validator.isEmpty(), "desktop-file-validate is missing: run scripts/setup.sh");
    result = run(validator, {entry}, environment, m_home->path());
    QVERIFY2(result.exitCode == 0, (result.out + result.err).constData());

    // The command the session would run starts this very program.
    const QByteArray text = TestHome::read(entry);
    const auto arguments = execArguments(entryValue(text, "Exec"));
    QVERIFY2(arguments.has_value(), text.constData());
    QCOMPARE(*arguments, QStringList{program});
    QCOMPARE(unescapeValue(entryValue(text, "TryExec")), program);
    result = run(arguments->first(), arguments->mid(1) + QStringList{QStringLiteral("--help")}, environment,
                 m_home->path());
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.startsWith("Usage: quorlane"), result.out.constData());

    result = run(program, {"prefs", "set", "launchAtLogin", "false"}, environment, m_home->path());
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QVERIFY(!QFileInfo::exists(entry));
    QCOMPARE(prefsJson(program, environment, m_home->path()).value(QLatin1String("launchAtLogin")),
             QJsonValue(false));
}

void TestLoginItem::realBinaryReportsARefusedRegistration()
{
    blockAutostartFolder(*m_home);
    const TestHome::Run result = m_home->runQuorlane({"prefs", "set", "launchAtLogin", "true", "--json"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("could not register the login item"), result.err.constData());
    // What it prints is the store afterwards: the real status, not the wish.
    const QJsonObject printed = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(printed.value(QLatin1String("launchAtLogin")), QJsonValue(false));
    QCOMPARE(storedLaunchAtLogin(), QVariant(false));
}

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
