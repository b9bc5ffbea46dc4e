// Qt Quick tests of the panel's components, over the demo home in a temporary folder. The QML
// side reaches the scenario through the `Scenario` singleton.
#include "FeedServer.h"
#include "PanelFixture.h"
#include "panel/OffscreenPanel.h"
#include "panel/PanelHost.h"

#include "panel/DemoHome.h"

#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

// What the QML tests may change in the world around the panel.
class Scenario : public QObject
{
    Q_OBJECT

public:
    Scenario() : m_feed(200, "{\"version\":\"1.0.0\"}")
    {
        qputenv("QUORLANE_FEED_URL", m_feed.url());
        m_fixture = std::make_unique<PanelFixture>();
        DemoHome::populate();
        m_fixture->start();
        m_host = std::make_unique<PanelHost>(m_fixture->panel.get());
    }

    [[nodiscard]] PanelHost &host() { return *m_host; }

    // Another program rewrites ~/.claude.json without `name`.
    Q_INVOKABLE void removeFromDisk(const QString &name)
    {
        QByteArray text = TestHome::read(m_fixture->home.claudeJson());
        m_fixture->home.write(m_fixture->home.claudeJson(),
                              text.replace('"' + name.toUtf8() + '"', '"' + name.toUtf8() + "-renamed\""));
    }
    Q_INVOKABLE void answerFeed(int status, const QString &body) { m_feed.answer(status, body.toUtf8()); }
    Q_INVOKABLE void requestPreferences() { m_fixture->panel->showPreferences(false); }
    Q_INVOKABLE void resetPage() { m_fixture->prefs.setPanelState(PanelState::main); }

private:
    FeedServer m_feed;
    std::unique_ptr<PanelFixture> m_fixture;
    std::unique_ptr<PanelHost> m_host;
};

class Setup : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void applicationAvailable() { m_scenario = std::make_unique<Scenario>(); }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        m_scenario->host().install(engine);
        qmlRegisterSingletonInstance("PanelTest", 1, 0, "Scenario", m_scenario.get());
    }
    void cleanupTestCase() { m_scenario.reset(); }

private:
    std::unique_ptr<Scenario> m_scenario;
};

QUICK_TEST_MAIN_WITH_SETUP(panelviews, Setup)

#include "tst_panelviews.moc"
