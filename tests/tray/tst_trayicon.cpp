#include "tray/TrayIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include <cmath>

// The tray icon drawn on the panels it meets: trayer's and Breeze's light grey-white, and the
// black of most dark themes. It must stand out from both, at the sizes trays draw it.
// QUORLANE_SCREENSHOT_DIR keeps the pictures, four times enlarged.
namespace {

double luminance(QColor c)
{
    const auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

double contrast(QColor a, QColor b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void legibleOnEveryPanel_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QColor>("tray");
        for (int size : {16, 22, 32}) {
            QTest::addRow("%d px on white", size) << size << QColor(Qt::white);
            QTest::addRow("%d px on black", size) << size << QColor(Qt::black);
        }
    }

    // Where the glyph covers the tray, a good share of it must differ from the tray by at least
    // 3:1 (the contrast asked of graphics): on a light tray its outline, on a dark one its face.
    // A single light grey, as before, fails on white with no legible pixel at all.
    void legibleOnEveryPanel()
    {
        QFETCH(int, size);
        QFETCH(QColor, tray);
        const QImage glyph = TrayIcon::forTray(TrayPresence::Kind::embedded, QStringLiteral("LXQt"))
                                 .pixmap(size, size)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(glyph.size(), QSize(size, size));
        QImage shown(glyph.size(), QImage::Format_RGB32);
        shown.fill(tray);
        QPainter(&shown).drawImage(0, 0, glyph);
        if (qEnvironmentVariableIsSet("QUORLANE_SCREENSHOT_DIR"))
            shown.scaled(size * 4, size * 4)
                .save(qEnvironmentVariable("QUORLANE_SCREENSHOT_DIR") +
                      QStringLiteral("/trayicon-%1.png").arg(QTest::currentDataTag()).replace(u' ', u'-'));

        int covered = 0;
        int legible = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (qAlpha(glyph.pixel(x, y)) < 128)
                    continue;
                ++covered;
                legible += contrast(shown.pixelColor(x, y), tray) >= 3.0 ? 1 : 0;
            }
        }
        QVERIFY2(covered >= size * size / 4, qPrintable(QStringLiteral("only %1 pixels drawn").arg(covered)));
        QVERIFY2(legible * 3 >= covered,
                 qPrintable(QStringLiteral("%1 of %2 pixels stand out").arg(legible).arg(covered)));
    }
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    TestTrayIcon test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trayicon.moc"
