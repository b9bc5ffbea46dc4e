// The panel as drawn, compared with reviewed pictures. Set QUORLANE_UPDATE_GOLDENS=1 (or run
// scripts/update-panel-goldens.sh) to write new ones, then look at every one before committing.
#include "FeedServer.h"
#include "PanelFixture.h"
#include "panel/OffscreenPanel.h"
#include "panel/PanelHost.h"
#include "platform/WhenDone.h"

#include "panel/DemoHome.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDir>
#include <QGuiApplication>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString goldenDir = QStringLiteral(QUORLANE_TEST_DATA_DIR "/golden");

// Pixels whose channels differ by more than a rounding step; a turning spinner stays under it.
constexpr int channelTolerance = 40;
constexpr int pixelTolerance = 200;

int differingPixels(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const bool same = qAbs(qRed(p[col]) - qRed(q[col])) <= channelTolerance &&
                              qAbs(qGreen(p[col]) - qGreen(q[col])) <= channelTolerance &&
                              qAbs(qBlue(p[col]) - qBlue(q[col])) <= channelTolerance &&
                              qAbs(qAlpha(p[col]) - qAlpha(q[col])) <= channelTolerance;
            count += same ? 0 : 1;
        }
    }
    return count;
}

} // namespace

class TestPanelScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void screens_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char *name :
             {"empty", "loading", "list", "collapsed", "error", "states", "prefs-empty-uptodate",
              "prefs-figures-update", "prefs-failed", "prefs-checking"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void screens()
    {
        QFETCH(QString, scenario);
        const bool prefsPage = scenario.startsWith(u"prefs");
        std::unique_ptr<FeedServer> feed;
        if (scenario.endsWith(u"uptodate"))
            feed = std::make_unique<FeedServer>(200, "{\"version\":\"1.0.0\"}");
        else if (scenario.endsWith(u"update"))
            feed = std::make_unique<FeedServer>(200, "{\"version\":\"1.4.2\",\"url\":\"https:/"
                                                     "/quorlane.dev/changelog\"}");
        else if (scenario.endsWith(u"failed"))
            feed = std::make_unique<FeedServer>(500, "");
        else
            feed = std::make_unique<FeedServer>(200, "", FeedServer::Mode::silent);
        qputenv("QUORLANE_FEED_URL", feed->url());

        PanelFixture fixture;
        if (scenario == u"states") {
            // Every state a row can show, a heavy server, and one row's tools.
            writeLoadStatesHome(fixture.home);
            fixture.start({{QStringLiteral("alpha"), 31000},
                           {QStringLiteral("beta"), 4000},
                           {QStringLiteral("delta"), 2000},
                           {QStringLiteral("gamma"), 3000}},
                          {{QStringLiteral("delta"),
                            {{QStringLiteral("query"), 420},
                             {QStringLiteral("describe_table_with_a_rather_long_name"), 1180},
                             {QStringLiteral("list_tables"), 400}}}});
        } else {
            if (scenario != u"empty")
                QVERIFY(DemoHome::populate());
            fixture.start();
        }
        if (scenario == u"loading") {
            // A load that cannot finish yet: another switch holds the lock every reload waits for.
            bool held = false;
            whenDone(fixture.config.acquireMutationLock(), &fixture.config, [&held] { held = true; });
            QTRY_VERIFY(held);
        }
        PanelHost host(fixture.panel.get());
        fixture.panel->setPageOverride(prefsPage ? PanelState::preferences : PanelState::main);
        OffscreenPanel view(host);
        QVERIFY2(view.root(), qPrintable(view.error()));

        PanelModel &panel = *fixture.panel;
        QSignalSpy reloaded(&panel, &PanelModel::reloaded);
        panel.panelShown();
        if (scenario == u"loading") {
            QTRY_COMPARE(panel.listState(), PanelModel::ListState::loading);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(reloaded.count(), 1, 15000);
            QTRY_VERIFY(!panel.probesRunning());
        }
        if (scenario == u"collapsed")
            panel.projects()->setExpanded(1, false);
        if (scenario == u"states")
            panel.toggleExpanded(-1, 2);
        if (scenario == u"error") {
            // Another program removed the server after the panel listed it.
            QByteArray text = TestHome::read(fixture.home.claudeJson());
            fixture.home.write(fixture.home.claudeJson(), text.replace("\"github\"", "\"gh\""));
            QSignalSpy finished(&panel, &PanelModel::toggleFinished);
            panel.toggleGlobal(2, false);
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        }
        if (scenario == u"prefs-figures-update") {
            QSignalSpy savings(&fixture.savings, &TokenSavingsService::savingsStatChanged);
            panel.preferences()->refreshSavings();
            QTRY_COMPARE_WITH_TIMEOUT(savings.count(), 1, 15000);
        }
        if (prefsPage && !scenario.endsWith(u"checking"))
            QTRY_VERIFY(fixture.updater.hasCheckedThisSession());
        QTest::qWait(300); // animations of the last change
        const QImage shot = view.grab();
        QCOMPARE(qAlpha(shot.pixel(0, 0)), 0); // outside the rounded corner

        if (scenario == u"loading") {
            // Let the load finish so its worker ends with the test.
            fixture.config.releaseMutationLock();
            QTRY_VERIFY(panel.listState() != PanelModel::ListState::loading);
        }

        const QString golden = goldenDir + QStringLiteral("/panel-%1.png").arg(scenario);
        if (qEnvironmentVariableIsSet("QUORLANE_UPDATE_GOLDENS")) {
            QDir().mkpath(goldenDir);
            QVERIFY(shot.save(golden));
            return;
        }
        const QImage expected(golden);
        QVERIFY2(!expected.isNull(), qPrintable(golden + QStringLiteral(" is missing")));
        QCOMPARE(shot.size(), expected.size());
        const int differing = differingPixels(shot, expected);
        if (differing > pixelTolerance)
            shot.save(QDir::tempPath() + QStringLiteral("/panel-%1-actual.png").arg(scenario));
        QVERIFY2(differing <= pixelTolerance, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
    }
};

int main(int argc, char *argv[])
{
    OffscreenPanel::useSoftwareRenderer();
    QGuiApplication app(argc, argv);
    TestPanelScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panelscreens.moc"
