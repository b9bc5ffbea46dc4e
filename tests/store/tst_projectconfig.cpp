// The sidecar record: where it lives, what it must contain, and the move of the legacy file out
// of the project folder.
#include "TestHome.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestProjectConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sidecarFileName_data()
    {
        QTest::addColumn<QString>("projectPath");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("absolute") << "/srv/work/app"
                                  << "srv-work-app.json";
        QTest::newRow("dash and slash collide a") << "/a/b-c"
                                                  << "a-b-c.json";
        QTest::newRow("dash and slash collide b") << "/a-b/c"
                                                  << "a-b-c.json";
        QTest::newRow("relative keeps first character") << "rel/x"
                                                        << "rel-x.json";
        QTest::newRow("two leading slashes") << "//x/y"
                                             << "-x-y.json";
        QTest::newRow("trailing slash") << "/x/y/"
                                        << "x-y-.json";
    }
    void sidecarFileName()
    {
        QFETCH(QString, projectPath);
        QFETCH(QString, fileName);
        TestHome home;
        const QString path = QuorlaneProjectConfig::sidecarPath(projectPath);
        QCOMPARE(path, home.configDir() + QStringLiteral("/Quorlane/projects/") + fileName);
        QVERIFY(QDir(home.configDir() + QStringLiteral("/Quorlane/projects")).exists());
    }

    void saveAndLoadRoundTrip()
    {
        TestHome home;
        QuorlaneProjectConfig record;
        record.recordDisable(QStringLiteral("b"));
        record.recordDisable(QStringLiteral("a"));
        record.recordDisable(QStringLiteral("b"));
        record.stashedConfigs.insert(QStringLiteral("b"),
                                     MCPServerRaw{QStringLiteral("npx"), QStringList{"-y"}});
        record.save(QStringLiteral("/p/q"));
        const QuorlaneProjectConfig loaded = QuorlaneProjectConfig::load(QStringLiteral("/p/q"));
        QCOMPARE(loaded, record);
        QCOMPARE(loaded.disabled, QStringList({"b", "a"}));
        QCOMPARE(loaded.history.size(), 3);
        const QByteArray text = TestHome::read(QuorlaneProjectConfig::sidecarPath(QStringLiteral("/p/q")));
        QVERIFY(text.indexOf("\"disabled\"") < text.indexOf("\"history\""));
        QVERIFY(text.indexOf("\"action\"") < text.indexOf("\"server\""));
    }

    void enableRemovesEveryOccurrenceAndKeepsHistory()
    {
        QuorlaneProjectConfig record;
        record.disabled = {"a", "b", "a", "c"};
        record.recordEnable(QStringLiteral("a"));
        record.recordEnable(QStringLiteral("zzz"));
        QCOMPARE(record.disabled, QStringList({"b", "c"}));
        QCOMPARE(record.history.size(), 2);
        QCOMPARE(record.history.last().action, QStringLiteral("enable"));
        QVERIFY(record.history.last().ts > 1.7e9);
    }

    void incompleteFilesDoNotDecode_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no history") << QByteArray("{\"disabled\":[],\"stashedConfigs\":{}}");
        QTest::newRow("no disabled") << QByteArray("{\"history\":[],\"stashedConfigs\":{}}");
        QTest::newRow("no stash") << QByteArray("{\"disabled\":[],\"history\":[]}");
        QTest::newRow("history entry without ts")
            << QByteArray("{\"disabled\":[],\"history\":[{\"server\":\"a\",\"action\":\"disable\"}],"
                          "\"stashedConfigs\":{}}");
        QTest::newRow("stashed definition broken")
            << QByteArray("{\"disabled\":[],\"history\":[],\"stashedConfigs\":{\"a\":{\"env\":{\"X\":1}}}}");
        QTest::newRow("not JSON") << QByteArray("{disabled");
    }
    void incompleteFilesDoNotDecode()
    {
        QFETCH(QByteArray, text);
        QVERIFY(!QuorlaneProjectConfig::decode(text));
        TestHome home;
        home.write(QuorlaneProjectConfig::sidecarPath(QStringLiteral("/p")), text);
        QCOMPARE(QuorlaneProjectConfig::load(QStringLiteral("/p")), QuorlaneProjectConfig{});
    }

    void legacyFileMovesToTheSidecar()
    {
        TestHome home;
        const QString project = home.path() + QStringLiteral("/proj");
        const QByteArray legacy = "{\"disabled\":[\"m\"],\"history\":[{\"action\":\"disable\",\"server\":"
                                  "\"m\",\"ts\":1.5}],\"stashedConfigs\":{}}";
        home.write(QStringLiteral("proj/.claude.quorlane.json"), legacy);

        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(project);
        QCOMPARE(record.disabled, QStringList{"m"});
        QVERIFY(!QFile::exists(QuorlaneProjectConfig::legacyPath(project)));
        QCOMPARE(*QuorlaneProjectConfig::decode(TestHome::read(QuorlaneProjectConfig::sidecarPath(project))),
                 record);
    }

    void invalidLegacyFileStaysUntilTheNextSave()
    {
        TestHome home;
        const QString project = home.path() + QStringLiteral("/proj");
        home.write(QStringLiteral("proj/.claude.quorlane.json"), "{broken");
        QCOMPARE(QuorlaneProjectConfig::load(project), QuorlaneProjectConfig{});
        QVERIFY(QFile::exists(QuorlaneProjectConfig::legacyPath(project)));
        QuorlaneProjectConfig{}.save(project);
        QVERIFY(!QFile::exists(QuorlaneProjectConfig::legacyPath(project)));
    }

    void sidecarWinsOverLegacy()
    {
        TestHome home;
        const QString project = home.path() + QStringLiteral("/proj");
        QuorlaneProjectConfig current;
        current.disabled = {"new"};
        current.save(project);
        home.write(QStringLiteral("proj/.claude.quorlane.json"),
                   "{\"disabled\":[\"old\"],\"history\":[],\"stashedConfigs\":{}}");
        QCOMPARE(QuorlaneProjectConfig::load(project).disabled, QStringList{"new"});
    }
};

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
