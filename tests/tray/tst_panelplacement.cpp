#include "tray/PanelPlacement.h"

#include <QTest>

using namespace PanelPlacement;

Q_DECLARE_METATYPE(PanelPlacement::Edge)
Q_DECLARE_METATYPE(PanelPlacement::TrayCorner)

namespace {

const QSize panel(320, 200);
const QRect fullHD(0, 0, 1920, 1080);

QList<Screen> one(QRect available)
{
    return {Screen{fullHD, available}};
}

} // namespace

class TestPanelPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Expected frames worked out by hand for a 320×200 panel on a 1920×1080 screen.
    void place_data()
    {
        QTest::addColumn<QList<Screen>>("screens");
        QTest::addColumn<QRect>("icon"); // empty: the tray did not say where its icon is
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<TrayCorner>("corner");
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<Edge>("edge");
        const auto topBar = one(QRect(0, 28, 1920, 1052));
        const auto bottomPanel = one(QRect(0, 0, 1920, 1040));
        const auto leftPanel = one(QRect(48, 0, 1872, 1080));
        const auto rightPanel = one(QRect(0, 0, 1872, 1080));
        const auto noStrip = one(fullHD);
        // A monitor left of and above the primary one, with a top bar of its own.
        const QList<Screen> twoScreens{{fullHD, QRect(0, 0, 1920, 1040)},
                                       {QRect(-1280, -200, 1280, 1024), QRect(-1280, -176, 1280, 1000)}};
        const QPoint away(960, 540);
        const auto tr = TrayCorner::topRight;
        const auto br = TrayCorner::bottomRight;

        QTest::newRow("top bar, icon in the middle")
            << topBar << QRect(900, 2, 24, 24) << away << br << QRect(752, 32, 320, 200) << Edge::top;
        QTest::newRow("top bar, icon at the right edge: 8 inside")
            << topBar << QRect(1890, 2, 24, 24) << away << br << QRect(1592, 32, 320, 200) << Edge::top;
        QTest::newRow("bottom panel, icon at the left edge: opens above")
            << bottomPanel << QRect(4, 1048, 24, 24) << away << tr << QRect(8, 836, 320, 200) << Edge::bottom;
        QTest::newRow("left panel: opens to the right of the strip")
            << leftPanel << QRect(12, 500, 24, 24) << away << tr << QRect(52, 412, 320, 200) << Edge::left;
        QTest::newRow("right panel, icon at the bottom: kept 8 inside")
            << rightPanel << QRect(1884, 1050, 24, 24) << away << tr << QRect(1548, 872, 320, 200)
            << Edge::right;
        QTest::newRow("no reserved strip, icon at the top")
            << noStrip << QRect(1800, 0, 24, 24) << away << br << QRect(1592, 28, 320, 200) << Edge::top;
        QTest::newRow("no reserved strip, icon in the bottom-left corner")
            << noStrip << QRect(0, 1056, 24, 24) << away << tr << QRect(8, 852, 320, 200) << Edge::bottom;
        QTest::newRow("icon on a monitor at negative coordinates")
            << twoScreens << QRect(-100, -196, 20, 20) << away << br << QRect(-328, -172, 320, 200)
            << Edge::top;
        QTest::newRow("status notifier: cursor in the bottom strip")
            << bottomPanel << QRect() << QPoint(1700, 1060) << tr << QRect(1540, 836, 320, 200)
            << Edge::bottom;
        QTest::newRow("status notifier: cursor on the negative monitor's top bar")
            << twoScreens << QRect() << QPoint(-640, -190) << br << QRect(-800, -172, 320, 200) << Edge::top;
        QTest::newRow("status notifier: cursor near a top edge without a strip")
            << noStrip << QRect() << QPoint(500, 10) << br << QRect(340, 15, 320, 200) << Edge::top;
        QTest::newRow("status notifier: stale cursor, GNOME's top-right corner")
            << topBar << QRect() << away << tr << QRect(1592, 32, 320, 200) << Edge::top;
        QTest::newRow("status notifier: stale cursor, panel moved to the left side")
            << leftPanel << QRect() << away << br << QRect(52, 872, 320, 200) << Edge::left;
        QTest::newRow("status notifier: cursor outside every screen")
            << bottomPanel << QRect() << QPoint(5000, 5000) << br << QRect(1592, 836, 320, 200)
            << Edge::bottom;
    }
    void place()
    {
        QFETCH(QList<Screen>, screens);
        QFETCH(QRect, icon);
        QFETCH(QPoint, cursor);
        QFETCH(TrayCorner, corner);
        QFETCH(QRect, frame);
        QFETCH(Edge, edge);
        const Input input{icon.isEmpty() ? std::nullopt : std::optional(icon), cursor, screens, panel,
                          corner};
        const std::optional<Placement> placement = PanelPlacement::place(input);
        QVERIFY(placement);
        QCOMPARE(placement->frame, frame);
        QCOMPARE(placement->edge, edge);

        // Growing or shrinking keeps the edge next to the tray where it was.
        for (const int height : {minimumHeight, 420}) {
            const QRect r = resized(*placement, height);
            QCOMPARE(r.height(), height);
            QCOMPARE(r.width(), frame.width());
            QCOMPARE(r.x(), frame.x());
            if (edge == Edge::top)
                QCOMPARE(r.top(), frame.top());
            else if (edge == Edge::bottom)
                QCOMPARE(r.bottom(), frame.bottom());
            else
                QVERIFY(r.top() >= placement->available.top() + margin &&
                        r.bottom() <= placement->available.bottom() - margin);
        }
    }

    void noScreenNoPlacement() { QVERIFY(!PanelPlacement::place(Input{QRect(0, 0, 24, 24), {}, {}, panel})); }

    void trayCorner()
    {
        QCOMPARE(trayCornerOf(QStringLiteral("ubuntu:GNOME")), TrayCorner::topRight);
        QCOMPARE(trayCornerOf(QStringLiteral("KDE")), TrayCorner::bottomRight);
        QCOMPARE(trayCornerOf(QString()), TrayCorner::bottomRight);
    }
};

QTEST_GUILESS_MAIN(TestPanelPlacement)
#include "tst_panelplacement.moc"
