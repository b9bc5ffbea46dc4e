// Names, paths and commands come from files anyone can write: in text output an escape
// sequence must show as text, never reach the terminal.
#include "TestHome.h"

#include <QTest>

class TestTextOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlCharactersAreShownEscaped_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown"); // as it must appear
        const QString name = QStringLiteral("evil\x1b[2K\x1b[1Afake");
        const QString escapedName = QStringLiteral("evil\\x1b[2K\\x1b[1Afake");
        QTest::newRow("list: name and command") << QStringList{"list"} << "/bin/true\\x1b]0;owned\\x07";
        QTest::newRow("list: the name") << QStringList{"list"} << escapedName;
        QTest::newRow("disable: switched off")
            << QStringList{"disable", name} << "Switched off " + escapedName;
        QTest::newRow("enable: not found")
            << QStringList{"enable", name + "\x07\nx", "--project", "/nowhere\x1b[31m"} << "\\x07";
        QTest::newRow("tokens: no such server") << QStringList{"tokens", name + QChar(0x9b)} << "\\x9b";
    }
    void controlCharactersAreShownEscaped()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        TestHome home;
        home.write(".claude.json", "{\"mcpServers\":{\"evil\\u001b[2K\\u001b[1Afake\":"
                                   "{\"command\":\"/bin/true\\u001b]0;owned\\u0007\"}}}");
        const TestHome::Run run = home.runQuorlane(arguments);
        const QString all = QString::fromUtf8(run.out + run.err);
        QVERIFY2(all.contains(shown), qPrintable(all));
        for (const QChar c : all)
            QVERIFY2(c == '\n' || (c >= ' ' && c != QChar(0x7f) && (c < QChar(0x80) || c > QChar(0x9f))),
                     qPrintable(QString(all).toUtf8().toPercentEncoding(" /\\[]'\n")));
    }
};

QTEST_GUILESS_MAIN(TestTextOutput)
#include "tst_textoutput.moc"
