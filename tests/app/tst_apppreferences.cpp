#include "TestHome.h"
#include "app/AppPreferences.h"
#include "cli/Cli.h"
#include "platform/Paths.h"
#include "platform/PreferenceStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QVariant stored(QAnyStringView key)
{
    return PreferenceStore::open()->value(key);
}

// Every key and value the store holds.
QVariantMap storeSnapshot()
{
    const auto store = PreferenceStore::open();
    QVariantMap snapshot;
    for (const QString &key : store->allKeys())
        snapshot.insert(key, store->value(key));
    return snapshot;
}

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

CliRun runPrefs(const QStringList &arguments)
{
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.code = runCli(QStringList{QStringLiteral("prefs")} + arguments, CliIO{out, err});
    return run;
}

} // namespace

class TestAppPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void defaultsWithAnEmptyStore();
    void storedValues_data();
    void storedValues();
    void everyAssignmentIsWritten_data();
    void everyAssignmentIsWritten();
    void assigningTheCurrentValueStillWrites();
    void excludedPathsAreNeverWritten();
    void loadedOnceNeverReloaded();
    void storeFileKeepsTypes();
    void sharedIsOneInstance();

    void prefsCommandPrintsTheStore();
    void prefsSetWritesTheStore_data();
    void prefsSetWritesTheStore();
    void prefsSetRefusesBadInput_data();
    void prefsSetRefusesBadInput();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestAppPreferences::defaultsWithAnEmptyStore()
{
    QVERIFY(storeSnapshot().isEmpty());
    const AppPreferences preferences;
    QCOMPARE(preferences.autoRelaunch(), true);
    QCOMPARE(preferences.launchAtLogin(), false);
    QCOMPARE(preferences.excludedPaths(), QStringList());
    QCOMPARE(preferences.panelState(), PanelState::main);
    // Loading alone writes nothing.
    QVERIFY(storeSnapshot().isEmpty());
}

void TestAppPreferences::storedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QVariant>("expected");

    const auto main = QVariant::fromValue(PanelState::main);
    const auto preferencesPage = QVariant::fromValue(PanelState::preferences);

    QTest::newRow("autoRelaunch false")
        << "pref_autoRelaunch" << QVariant(false) << QByteArray("autoRelaunch") << QVariant(false);
    QTest::newRow("autoRelaunch as text \"false\"")
        << "pref_autoRelaunch" << QVariant(QStringLiteral("false")) << QByteArray("autoRelaunch")
        << QVariant(true);
    QTest::newRow("autoRelaunch as number 0")
        << "pref_autoRelaunch" << QVariant(0) << QByteArray("autoRelaunch") << QVariant(true);
    QTest::newRow("autoRelaunch as list") << "pref_autoRelaunch" << QVariant(QVariantList{false})
                                          << QByteArray("autoRelaunch") << QVariant(true);
    QTest::newRow("launchAtLogin true")
        << "pref_launchAtLogin" << QVariant(true) << QByteArray("launchAtLogin") << QVariant(true);
    QTest::newRow("launchAtLogin as text \"true\"")
        << "pref_launchAtLogin" << QVariant(QStringLiteral("true")) << QByteArray("launchAtLogin")
        << QVariant(false);
    QTest::newRow("launchAtLogin as number 1")
        << "pref_launchAtLogin" << QVariant(1) << QByteArray("launchAtLogin") << QVariant(false);
    QTest::newRow("excludedPaths list")
        << "pref_excludedPaths" << QVariant(QStringList{"alpha", "beta gamma"}) << QByteArray("excludedPaths")
        << QVariant(QStringList{"alpha", "beta gamma"});
    QTest::newRow("excludedPaths one element stays a list")
        << "pref_excludedPaths" << QVariant(QStringList{"alpha"}) << QByteArray("excludedPaths")
        << QVariant(QStringList{"alpha"});
    QTest::newRow("excludedPaths as text") << "pref_excludedPaths" << QVariant(QStringLiteral("alpha"))
                                           << QByteArray("excludedPaths") << QVariant(QStringList());
    QTest::newRow("excludedPaths with a number inside")
        << "pref_excludedPaths" << QVariant(QVariantList{QStringLiteral("alpha"), 2})
        << QByteArray("excludedPaths") << QVariant(QStringList());
    QTest::newRow("excludedPaths as object")
        << "pref_excludedPaths" << QVariant(QVariantMap{{QStringLiteral("a"), QStringLiteral("b")}})
        << QByteArray("excludedPaths") << QVariant(QStringList());
    QTest::newRow("panelState preferences") << "pref_panelState" << QVariant(QStringLiteral("preferences"))
                                            << QByteArray("panelState") << preferencesPage;
    QTest::newRow("panelState main") << "pref_panelState" << QVariant(QStringLiteral("main"))
                                     << QByteArray("panelState") << main;
    QTest::newRow("panelState capitalised")
        << "pref_panelState" << QVariant(QStringLiteral("Preferences")) << QByteArray("panelState") << main;
    QTest::newRow("panelState upper case")
        << "pref_panelState" << QVariant(QStringLiteral("PREFERENCES")) << QByteArray("panelState") << main;
    QTest::newRow("panelState with a space")
        << "pref_panelState" << QVariant(QStringLiteral("preferences ")) << QByteArray("panelState") << main;
    QTest::newRow("panelState as boolean")
        << "pref_panelState" << QVariant(true) << QByteArray("panelState") << main;
    QTest::newRow("panelState as list")
        << "pref_panelState" << QVariant(QStringList{"preferences"}) << QByteArray("panelState") << main;
}

void TestAppPreferences::storedValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, field);
    QFETCH(QVariant, expected);

    PreferenceStore::write(key, value);
    const AppPreferences preferences;
    const QVariant actual = preferences.property(field.constData());
    if (expected.typeId() == QMetaType::QStringList)
        QCOMPARE(actual.toStringList(), expected.toStringList());
    else
        QCOMPARE(actual, expected);
}

void TestAppPreferences::everyAssignmentIsWritten_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("autoRelaunch off")
        << QByteArray("autoRelaunch") << QVariant(false) << "pref_autoRelaunch" << QVariant(false);
    QTest::newRow("launchAtLogin on")
        << QByteArray("launchAtLogin") << QVariant(true) << "pref_launchAtLogin" << QVariant(true);
    QTest::newRow("panelState preferences")
        << QByteArray("panelState") << QVariant::fromValue(PanelState::preferences) << "pref_panelState"
        << QVariant(QStringLiteral("preferences"));
}

void TestAppPreferences::everyAssignmentIsWritten()
{
    QFETCH(QByteArray, field);
    QFETCH(QVariant, value);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);

    AppPreferences preferences;
    QVERIFY(preferences.setProperty(field.constData(), value));
    // Read back at once, through a store object of its own: the write is not left for later.
    const QVariant actual = PreferenceStore::open()->value(key);
    QCOMPARE(actual.typeId(), expected.typeId());
    QCOMPARE(actual, expected);
    QCOMPARE(preferences.property(field.constData()), value);
    QCOMPARE(AppPreferences().property(field.constData()), value);
}

void TestAppPreferences::assigningTheCurrentValueStillWrites()
{
    AppPreferences preferences;
    QSignalSpy changed(&preferences, &AppPreferences::autoRelaunchChanged);
    QVERIFY(!stored(PreferenceKeys::autoRelaunch).isValid());
    preferences.setAutoRelaunch(true); // already true by default
    QCOMPARE(stored(PreferenceKeys::autoRelaunch), QVariant(true));
    preferences.setPanelState(PanelState::main);
    QCOMPARE(stored(PreferenceKeys::panelState), QVariant(QStringLiteral("main")));
    QCOMPARE(changed.count(), 1);

    // Another process changed the key meanwhile; assigning the in-memory value again restores it.
    PreferenceStore::write(PreferenceKeys::autoRelaunch, false);
    preferences.setAutoRelaunch(true);
    QCOMPARE(stored(PreferenceKeys::autoRelaunch), QVariant(true));
}

void TestAppPreferences::excludedPathsAreNeverWritten()
{
    PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{QStringLiteral("kept")});
    AppPreferences preferences;
    QSignalSpy changed(&preferences, &AppPreferences::excludedPathsChanged);
    preferences.setExcludedPaths({QStringLiteral("memory only")});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(preferences.excludedPaths(), QStringList{QStringLiteral("memory only")});
    QCOMPARE(PreferenceStore::excludedPaths(), QStringList{QStringLiteral("kept")});
    // Writing the other keys leaves the list alone too.
    preferences.setAutoRelaunch(false);
    QCOMPARE(PreferenceStore::excludedPaths(), QStringList{QStringLiteral("kept")});
}

void TestAppPreferences::loadedOnceNeverReloaded()
{
    const AppPreferences preferences;
    PreferenceStore::write(PreferenceKeys::autoRelaunch, false);
    PreferenceStore::write(PreferenceKeys::panelState, QStringLiteral("preferences"));
    QCOMPARE(preferences.autoRelaunch(), true);
    QCOMPARE(preferences.panelState(), PanelState::main);
}

void TestAppPreferences::storeFileKeepsTypes()
{
#ifdef Q_OS_LINUX
    AppPreferences preferences;
    preferences.setAutoRelaunch(false);
    preferences.setPanelState(PanelState::preferences);
    PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{QStringLiteral("solo")});
    const QString path = Paths::quorlaneSupportDirectory() + QStringLiteral("/preferences.json");
    const QJsonObject file = QJsonDocument::fromJson(TestHome::read(path)).object();
    QVERIFY(file.value(QLatin1String("pref_autoRelaunch")).isBool());
    QCOMPARE(file.value(QLatin1String("pref_autoRelaunch")).toBool(), false);
    QCOMPARE(file.value(QLatin1String("pref_panelState")).toString(), QStringLiteral("preferences"));
    QVERIFY(file.value(QLatin1String("pref_excludedPaths")).isArray());
    QCOMPARE(file.size(), 3);
#else
    QSKIP("the typed JSON store file exists on Linux only");
#endif
}

void TestAppPreferences::sharedIsOneInstance()
{
    QCOMPARE(&AppPreferences::shared(), &AppPreferences::shared());
}

void TestAppPreferences::prefsCommandPrintsTheStore()
{
    CliRun run = runPrefs({QStringLiteral("--json")});
    QCOMPARE(run.code, 0);
    QCOMPARE(
        run.out,
        QStringLiteral(R"({"autoRelaunch":true,"launchAtLogin":false,"excludedPaths":[],"panelState":"main"})"
                       "\n"));

    PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{"one", "two"});
    PreferenceStore::write(PreferenceKeys::panelState, QStringLiteral("preferences"));
    PreferenceStore::write(PreferenceKeys::autoRelaunch, QStringLiteral("no"));
    run = runPrefs({QStringLiteral("--json")});
    QCOMPARE(run.out,
             QStringLiteral(R"({"autoRelaunch":true,"launchAtLogin":false,"excludedPaths":["one","two"],)"
                            R"("panelState":"preferences"})"
                            "\n"));

    run = runPrefs({});
    QCOMPARE(run.code, 0);
    QVERIFY2(run.out.contains(QLatin1String("autoRelaunch   true\n")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QLatin1String("excludedPaths  one\n               two\n")),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QLatin1String("panelState     preferences\n")), qPrintable(run.out));
}

void TestAppPreferences::prefsSetWritesTheStore_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("autoRelaunch false")
        << QStringList{"autoRelaunch", "false"} << "pref_autoRelaunch" << QVariant(false);
    QTest::newRow("autoRelaunch true")
        << QStringList{"autoRelaunch", "true"} << "pref_autoRelaunch" << QVariant(true);
    QTest::newRow("excludedPaths several names")
        << QStringList{"excludedPaths", "alpha", "beta gamma"} << "pref_excludedPaths"
        << QVariant(QStringList{"alpha", "beta gamma"});
    QTest::newRow("excludedPaths one name")
        << QStringList{"excludedPaths", "solo"} << "pref_excludedPaths" << QVariant(QStringList{"solo"});
    QTest::newRow("excludedPaths cleared")
        << QStringList{"excludedPaths"} << "pref_excludedPaths" << QVariant(QStringList{});
}

void TestAppPreferences::prefsSetWritesTheStore()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);

    PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{QStringLiteral("before")});
    PreferenceStore::write(PreferenceKeys::autoRelaunch, !expected.toBool());
    const CliRun run = runPrefs(QStringList{QStringLiteral("set")} + arguments);
    QCOMPARE(run.code, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    const QVariant actual = stored(key);
    if (expected.typeId() == QMetaType::QStringList) {
        QCOMPARE(PreferenceStore::stringList(actual), std::optional<QStringList>(expected.toStringList()));
        // The configuration loader reads the list from the same store.
        QCOMPARE(PreferenceStore::excludedPaths(), expected.toStringList());
    } else {
        QCOMPARE(actual, expected);
    }
}

void TestAppPreferences::prefsSetRefusesBadInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown setting") << QStringList{"set", "panelSize", "3"} << "unknown setting 'panelSize'";
    QTest::newRow("setting name in another case")
        << QStringList{"set", "autorelaunch", "true"} << "unknown setting 'autorelaunch'";
    QTest::newRow("not a boolean") << QStringList{"set", "autoRelaunch", "yes"} << "takes one value";
    QTest::newRow("boolean in capitals") << QStringList{"set", "launchAtLogin", "TRUE"} << "takes one value";
    QTest::newRow("two values") << QStringList{"set", "autoRelaunch", "true", "false"} << "takes one value";
    QTest::newRow("no value") << QStringList{"set", "autoRelaunch"} << "takes one value";
    QTest::newRow("no setting") << QStringList{"set"} << "set needs a setting";
    QTest::newRow("another verb") << QStringList{"get", "autoRelaunch"} << "unexpected argument 'get'";
}

void TestAppPreferences::prefsSetRefusesBadInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    PreferenceStore::write(PreferenceKeys::autoRelaunch, false);
    PreferenceStore::write(PreferenceKeys::excludedPaths, QStringList{QStringLiteral("kept")});
    const QVariantMap before = storeSnapshot();
    QCOMPARE(before.size(), 2);

    const CliRun run = runPrefs(arguments);
    QCOMPARE(run.code, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(storeSnapshot(), before);
}

QTEST_GUILESS_MAIN(TestAppPreferences)
#include "tst_apppreferences.moc"
