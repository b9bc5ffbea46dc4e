#include "TestHome.h"
#include "platform/PreferenceStore.h"
#include "services/AppPreferences.h"

#include <QDir>
#include <QTest>

class TestAppPreferences : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    // An invalid `stored` leaves the key absent. A value of the wrong type reads as the default.
    void load_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char *name, const char *key, QVariant stored, QVariant expected) {
            QTest::newRow(name) << QString::fromLatin1(key) << stored << expected;
        };
        const QVariant main = QVariant::fromValue(PanelState::main);
        row("autoRelaunch absent", "pref_autoRelaunch", {}, true);
        row("autoRelaunch as the text \"false\"", "pref_autoRelaunch", "false", true);
        row("excludedPaths list", "pref_excludedPaths", QStringList{"a", "b c"}, QStringList{"a", "b c"});
        row("excludedPaths with a number inside", "pref_excludedPaths", QVariantList{"a", 2}, QStringList());
        row("panelState preferences", "pref_panelState", "preferences",
            QVariant::fromValue(PanelState::preferences));
        row("panelState Preferences", "pref_panelState", "Preferences", main);
        row("panelState as a boolean", "pref_panelState", true, main);
    }
    void load()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, expected);
        if (stored.isValid())
            PreferenceStore::write(key, stored);
        const AppPreferences preferences;
        QCOMPARE(preferences.property(key.mid(5).toLatin1().constData()), expected);
        QCOMPARE(PreferenceStore::open()->allKeys().size(), stored.isValid() ? 1 : 0);
    }

    // Even assigning the value already held writes it, typed, at once.
    void everyAssignmentIsWritten_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("autoRelaunch on, as it was")
            << "pref_autoRelaunch" << QVariant(true) << QVariant(true);
        QTest::newRow("panelState preferences")
            << "pref_panelState" << QVariant::fromValue(PanelState::preferences)
            << QVariant(QStringLiteral("preferences"));
        QTest::newRow("panelState main, as it was")
            << "pref_panelState" << QVariant::fromValue(PanelState::main) << QVariant(QStringLiteral("main"));
    }
    void everyAssignmentIsWritten()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        const QByteArray field = key.mid(5).toLatin1();
        QVERIFY(AppPreferences().setProperty(field.constData(), value));
        PreferenceStore::waitForWrites();
        const QVariant actual = PreferenceStore::open()->value(key);
        QCOMPARE(actual.typeId(), expected.typeId());
        QCOMPARE(actual, expected);
        QCOMPARE(AppPreferences().property(field.constData()), value);
    }

    void excludedPathsAreNeverWritten()
    {
        PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{"kept"});
        AppPreferences preferences;
        preferences.setExcludedPaths({"memory only"});
        preferences.setAutoRelaunch(false);
        QCOMPARE(preferences.excludedPaths(), QStringList{"memory only"});
        QCOMPARE(PreferenceStore::excludedPaths(), QStringList{"kept"});
    }

    // What the command prints with --json is the store read afresh; a refusal changes nothing.
    void prefsCommand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        const auto json = [](const char *autoRelaunch, const char *excluded) {
            return QStringLiteral(R"({"autoRelaunch":%1,"launchAtLogin":false,"excludedPaths":%2,)"
                                  R"("panelState":"main"})")
                .arg(QLatin1String(autoRelaunch), QLatin1String(excluded));
        };
        QTest::newRow("show") << QStringList{"--json"} << 0 << json("false", R"(["kept"])");
        QTest::newRow("set autoRelaunch")
            << QStringList{"set", "autoRelaunch", "true", "--json"} << 0 << json("true", R"(["kept"])");
        QTest::newRow("set excludedPaths") << QStringList{"set", "excludedPaths", "a", "b c", "--json"} << 0
                                           << json("false", R"(["a","b c"])");
        QTest::newRow("unknown setting")
            << QStringList{"set", "panelSize", "3"} << 2 << "unknown setting 'panelSize'";
        QTest::newRow("not a boolean")
            << QStringList{"set", "autoRelaunch", "TRUE"} << 2 << "takes one value";
        QTest::newRow("no setting") << QStringList{"set"} << 2 << "set needs a setting";
    }
    void prefsCommand()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        PreferenceStore::write(PreferenceKeys::autoRelaunch, false);
        PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{"kept"});
        const TestHome::Run run = m_home->runQuorlane(QStringList{"prefs"} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0)
            QCOMPARE(QString::fromUtf8(run.out), printed + '\n');
        QVERIFY2(run.err.contains(printed.toUtf8()) == (exitCode != 0), run.err.constData());
        if (exitCode != 0) {
            QCOMPARE(PreferenceStore::open()->allKeys().size(), 2);
            QCOMPARE(PreferenceStore::open()->value(PreferenceKeys::autoRelaunch), QVariant(false));
            QCOMPARE(PreferenceStore::excludedPaths(), QStringList{"kept"});
        }
    }

    // A store that cannot be written (here a folder stands where its file goes) fails the
    // command with the file's name, instead of printing a value that was never saved.
    void prefsSetThatCannotBeSavedFails()
    {
        const QString file = PreferenceStore::open()->fileName();
        QVERIFY(QDir().mkpath(file));
        const TestHome::Run run = m_home->runQuorlane({"prefs", "set", "excludedPaths", "a"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(file.toUtf8()) && run.err.contains("not saved"), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAppPreferences)
#include "tst_apppreferences.moc"
