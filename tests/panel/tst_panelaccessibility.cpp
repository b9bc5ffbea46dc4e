// What a screen reader finds in the rendered panel, read through Qt's accessibility interfaces
// (the ones the AT-SPI bridge and macOS's accessibility serve): every switch with its server,
// state and figure, every project header with its name and count, every button with its label.
// And the same panel without a mouse. QUORLANE_SCREENSHOT_DIR keeps a picture of the focus ring.
#include "PanelFixture.h"
#include "panel/OffscreenPanel.h"
#include "panel/PanelHost.h"

#include "panel/DemoHome.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Node
{
    QAccessible::Role role;
    QString name;
    QString description;
    QAccessible::State state;
    QAccessibleInterface *interface;
};

void collect(QAccessibleInterface *parent, QList<Node> &nodes)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        QAccessibleInterface *child = parent->child(i);
        if (!child || child->state().invisible)
            continue;
        nodes.append({child->role(), child->text(QAccessible::Name), child->text(QAccessible::Description),
                      child->state(), child});
        collect(child, nodes);
    }
}

const Node *find(const QList<Node> &nodes, QAccessible::Role role, const QString &name)
{
    for (const Node &node : nodes) {
        if (node.role == role && node.name == name)
            return &node;
    }
    return nullptr;
}

} // namespace

// Each test gets the demo home's panel, drawn and shown, its estimates in.
class TestPanelAccessibility : public QObject
{
    Q_OBJECT

    std::unique_ptr<PanelFixture> m_fixture;
    std::unique_ptr<PanelHost> m_host;
    std::unique_ptr<OffscreenPanel> m_view;

private Q_SLOTS:
    void initTestCase() { QAccessible::setActive(true); }
    void init()
    {
        m_fixture = std::make_unique<PanelFixture>();
        QVERIFY(DemoHome::populate());
        m_fixture->start();
        m_host = std::make_unique<PanelHost>(m_fixture->panel.get());
        m_view = std::make_unique<OffscreenPanel>(*m_host);
        QVERIFY2(m_view->root(), qPrintable(m_view->error()));
        QSignalSpy reloaded(m_fixture->panel.get(), &PanelModel::reloaded);
        m_fixture->panel->panelShown();
        QTRY_COMPARE_WITH_TIMEOUT(reloaded.count(), 1, 15000);
        QTRY_VERIFY(!m_fixture->panel->probesRunning());
        (void)m_view->grab();
    }
    void cleanup()
    {
        m_view.reset();
        m_host.reset();
        m_fixture.reset();
    }

    void readsTheRenderedPanel()
    {
        PanelModel &panel = *m_fixture->panel;
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&m_view->window());
        QVERIFY(window);
        QList<Node> nodes;
        collect(window, nodes);

        QVERIFY(find(nodes, QAccessible::List, QStringLiteral("MCP servers")));
        const Node *github = find(nodes, QAccessible::CheckBox, QStringLiteral("github"));
        QVERIFY(github);
        QVERIFY(github->state.checkable);
        QVERIFY(github->state.checked);
        QCOMPARE(github->description, QStringLiteral("about 12.3 thousand tokens per message"));
        // A server a session does not load says why.
        const Node *pending = find(nodes, QAccessible::CheckBox, QStringLiteral("docs-search"));
        QVERIFY(pending);
        QCOMPARE(pending->description,
                 QStringLiteral("awaiting approval, about 1.5 thousand tokens per message"));

        const Node *webapp = find(nodes, QAccessible::Button, QStringLiteral("webapp"));
        QVERIFY(webapp);
        QVERIFY2(webapp->description.contains(QRegularExpression(QStringLiteral(
                     "^\\d+ of \\d+ servers on, about [\\d.]+ thousand tokens per message, expanded$"))),
                 qPrintable(webapp->description));
        QVERIFY(find(nodes, QAccessible::Button, QStringLiteral("Preferences")));
        QVERIFY(find(nodes, QAccessible::Button, QStringLiteral("Quit")));

        // Nothing a reader would announce as a bare "check box" or "button".
        for (const Node &node : nodes) {
            if (node.role == QAccessible::CheckBox || node.role == QAccessible::Button)
                QVERIFY2(!node.name.isEmpty(), "an unnamed switch or button");
            if (node.role == QAccessible::CheckBox)
                QVERIFY2(!node.description.isEmpty(),
                         qPrintable(node.name + QStringLiteral(" has no figure")));
        }

        // A reader's toggle runs the same flow as a click: the server leaves Claude Code's file.
        QAccessibleActionInterface *actions = github->interface->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        QSignalSpy finished(&panel, &PanelModel::toggleFinished);
        actions->doAction(QAccessibleActionInterface::toggleAction());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        QVERIFY(!TestHome::read(m_fixture->home.claudeJson()).contains("\"github\""));
        QTRY_VERIFY(!github->interface->state().checked);
    }

    // Tab reaches the first switch with its ring, Space flips it through the usual flow, the
    // arrows walk on and back. (Esc closing the window is the tray's end-to-end test.)
    void keyboardWalksThePanel()
    {
        PanelModel &panel = *m_fixture->panel;
        QQuickWindow &window = m_view->window();
        m_view->root()->forceActiveFocus();

        QTest::keyClick(&window, Qt::Key_Tab);
        // The title bar's profiles control comes first, then the first switch.
        QVERIFY(window.activeFocusItem());
        QCOMPARE(window.activeFocusItem()->objectName(), QStringLiteral("profileSwitcher"));
        QTest::keyClick(&window, Qt::Key_Tab);
        QQuickItem *first = window.activeFocusItem();
        QVERIFY(first);
        QCOMPARE(first->objectName(), QStringLiteral("switch"));
        QCOMPARE(first->property("accessibleName").toString(), QStringLiteral("filesystem"));
        const QImage shot = m_view->grab();
        if (qEnvironmentVariableIsSet("QUORLANE_SCREENSHOT_DIR"))
            shot.save(qEnvironmentVariable("QUORLANE_SCREENSHOT_DIR") + QStringLiteral("/panel-focus.png"));

        QTest::keyClick(&window, Qt::Key_Down); // context7
        QTest::keyClick(&window, Qt::Key_Down);
        QCOMPARE(window.activeFocusItem()->property("accessibleName").toString(), QStringLiteral("github"));
        QSignalSpy finished(&panel, &PanelModel::toggleFinished);
        QTest::keyClick(&window, Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        QVERIFY(!TestHome::read(m_fixture->home.claudeJson()).contains("\"github\""));
        // The switch keeps the focus through the flip.
        QCOMPARE(window.activeFocusItem()->property("accessibleName").toString(), QStringLiteral("github"));
        QTest::keyClick(&window, Qt::Key_Up);
        QTest::keyClick(&window, Qt::Key_Up);
        QCOMPARE(window.activeFocusItem(), first);
    }
};

int main(int argc, char *argv[])
{
    OffscreenPanel::useSoftwareRenderer();
    QGuiApplication app(argc, argv);
    TestPanelAccessibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panelaccessibility.moc"
