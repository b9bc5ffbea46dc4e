#include "TestHome.h"
#include "platform/PreferenceStore.h"
#include "platform/linux/AutostartEntry.h"
#include "services/AppPreferences.h"
#include "services/LoginItemManager.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

// A desktop entry value with its string escapes undone, as every reader does before anything else.
QString entryValue(const QByteArray &entry, const QByteArray &key)
{
    const QString raw = QString::fromUtf8(entry.mid(entry.indexOf('\n' + key + '=') + key.size() + 2))
                            .section(QLatin1Char('\n'), 0, 0);
    QString value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i] == QLatin1Char('\\') && i + 1 < raw.size() ? raw[++i] : QChar();
        value += c.isNull() ? raw[i] : c == u'n' ? u'\n' : c == u't' ? u'\t' : c == u's' ? u' ' : c;
    }
    return value;
}

QVariant storedLaunchAtLogin()
{
    return PreferenceStore::open()->value(PreferenceKeys::launchAtLogin);
}

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;

    // A plain file where the autostart folder should be: nothing can be registered.
    void blockAutostartFolder() { m_home->write(AutostartEntry::directory(), "not a folder"); }

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void statusReflectsTheFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("enabled");
        const QByteArray ours = AutostartEntry::text(QStringLiteral("/usr/bin/quorlane"));
        QTest::newRow("the entry Quorlane writes") << ours << true;
        QTest::newRow("hidden") << ours + "Hidden=true\n" << false;
        QTest::newRow("switched off in the session settings")
            << QByteArray(ours).replace("Autostart-enabled=true", "Autostart-enabled=false") << false;
        QTest::newRow("hidden in another group") << ours + "[Desktop Action quit]\nHidden=true\n" << true;
    }
    void statusReflectsTheFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, enabled);
        if (!content.isEmpty())
            m_home->write(AutostartEntry::filePath(), content);
        PreferenceStore::write(PreferenceKeys::launchAtLogin, !enabled);
        QCOMPARE(LoginItemManager().isEnabled(), enabled);
        QCOMPARE(storedLaunchAtLogin(), QVariant(enabled));
    }

    // `key`: the stored status afterwards; "untouched" when a refused change must leave it.
    void change_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("enable");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QVariant>("key");
        const QVariant untouched(QStringLiteral("untouched"));
        QTest::newRow("disable what was never registered: already off")
            << "" << false << false << QVariant(false);
        QTest::newRow("enable refused") << "blocked" << true << false << untouched;
        QTest::newRow("disable refused: a folder stands for the entry")
            << "folder" << false << true << untouched;
    }
    void change()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, enable);
        QFETCH(bool, enabled);
        QFETCH(QVariant, key);
        if (obstacle == QLatin1String("blocked"))
            blockAutostartFolder();
        if (obstacle == QLatin1String("folder"))
            m_home->write(AutostartEntry::filePath() + QStringLiteral("/inside"), "x");
        LoginItemManager manager;
        PreferenceStore::write(PreferenceKeys::launchAtLogin, QStringLiteral("untouched"));
        enable ? manager.enable() : manager.disable();
        QCOMPARE(manager.isEnabled(), enabled);
        QCOMPARE(storedLaunchAtLogin(), key);
        if (obstacle != QLatin1String("folder"))
            QCOMPARE(QFileInfo(AutostartEntry::filePath()).isFile(), enabled);
    }

    // The key is written at once, the registration on a later turn; the key then tells the real
    // status while the setting keeps the user's choice. The command line reports a refusal.
    void launchAtLoginThroughPreferences_data()
    {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("registered") << false;
        QTest::newRow("refused") << true;
    }
    void launchAtLoginThroughPreferences()
    {
        QFETCH(bool, blocked);
        if (blocked)
            blockAutostartFolder();
        AppPreferences preferences;
        QSignalSpy finished(&preferences, &AppPreferences::loginItemChangeFinished);
        preferences.setLaunchAtLogin(true);
        QCOMPARE(storedLaunchAtLogin(), QVariant(true));
        QVERIFY(!QFileInfo(AutostartEntry::filePath()).isFile());
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first(), QVariant(!blocked));
        QCOMPARE(QFileInfo(AutostartEntry::filePath()).isFile(), !blocked);
        QCOMPARE(storedLaunchAtLogin(), QVariant(!blocked));
        QCOMPARE(preferences.launchAtLogin(), true);
        // The page tells why, in the platform's words.
        QCOMPARE(preferences.loginItemNote().isEmpty(), !blocked);

        const TestHome::Run set = m_home->runQuorlane({"prefs", "set", "launchAtLogin", "true"});
        QCOMPARE(set.exitCode, blocked ? 1 : 0);
        QCOMPARE(set.err.contains("could not register the login item"), blocked);
        QCOMPARE(set.err.contains(AutostartEntry::directory().toUtf8()), blocked);
    }

    // A copy of the binary in a folder whose name a shell or a launcher could misread.
    void realBinaryEndToEnd()
    {
        const QString folder = m_home->path() + R"(/my "apps" 'q' $HOME `id` 100% back\slash (1))";
        const QString program = folder + "/quorlane";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(QStringLiteral(QUORLANE_BINARY), program));
        const QString entry = m_home->configDir() + "/autostart/dev.quorlane.Quorlane.desktop";
        TestHome::Run result = m_home->run(program, {"prefs", "set", "launchAtLogin", "true", "--json"});
        QCOMPARE(QJsonDocument::fromJson(result.out)["launchAtLogin"], QJsonValue(true));
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate is missing: run scripts/setup.sh");
        result = m_home->run(validator, {entry});
        QVERIFY2(result.exitCode == 0, (result.out + result.err).constData());

        // Inside double quotes a POSIX shell reads an Exec line the way launchers do, once the
        // string escapes are undone and "%%" is back to "%"; the line must start this very program.
        const QByteArray text = TestHome::read(entry);
        QCOMPARE(entryValue(text, "TryExec"), program);
        const QString exec = entryValue(text, "Exec").replace("%%", "%");
        result = m_home->run("/bin/sh", {"-c", exec + " --help"});
        QVERIFY2(result.exitCode == 0 && result.out.startsWith("Usage: quorlane"), qPrintable(exec));

        result = m_home->run(program, {"prefs", "set", "launchAtLogin", "false", "--json"});
        QCOMPARE(QJsonDocument::fromJson(result.out)["launchAtLogin"], QJsonValue(false));
        QVERIFY(!QFileInfo::exists(entry));
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
