#include "sessions/SessionParsing.h"

#include <QtTest>

using namespace SessionParsing;
using OptionalText = std::optional<QString>;
using OptionalId = std::optional<qint64>;
using OptionalTerminal = std::optional<TerminalType>;
using OptionalLine = std::optional<ProcessLine>;

Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(OptionalId)
Q_DECLARE_METATYPE(OptionalTerminal)
Q_DECLARE_METATYPE(OptionalLine)

class TestSessionParsing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptionalId>("expected");
        QTest::newRow("plain") << "4242" << OptionalId(4242);
        QTest::newRow("leading plus") << "+17" << OptionalId(17);
        QTest::newRow("leading minus") << "-3" << OptionalId(-3);
        QTest::newRow("largest") << "9223372036854775807" << OptionalId(std::numeric_limits<qint64>::max());
        QTest::newRow("smallest") << "-9223372036854775808" << OptionalId(std::numeric_limits<qint64>::min());
        QTest::newRow("overflow") << "9223372036854775808" << OptionalId();
        QTest::newRow("header word") << "PID" << OptionalId();
        QTest::newRow("sign alone") << "-" << OptionalId();
        QTest::newRow("empty") << "" << OptionalId();
        QTest::newRow("inner space") << "12 3" << OptionalId();
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("١٢") << OptionalId();
    }
    void decimal()
    {
        QFETCH(QString, text);
        QFETCH(OptionalId, expected);
        QCOMPARE(parseDecimal(text), expected);
    }

    void processLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<OptionalLine>("expected");
        QTest::newRow("BSD header") << "  PID  PPID COMM             ARGS" << OptionalLine();
        QTest::newRow("procps header") << "    PID    PPID COMMAND         COMMAND" << OptionalLine();
        QTest::newRow("two fields") << "  42  1" << OptionalLine();
        QTest::newRow("no arguments") << "  42  1 claude" << OptionalLine(ProcessLine{42, "claude", ""});
        QTest::newRow("runs of spaces and tabs") << "\t 4242 \t 812  claude   --resume\tabc  "
                                                 << OptionalLine(ProcessLine{4242, "claude", "--resume abc"});
        QTest::newRow("login shell") << "  812   811 -zsh             -zsh"
                                     << OptionalLine(ProcessLine{812, "-zsh", "-zsh"});
        QTest::newRow("procps comm with a space")
            << "   2990       1 tmux: server    tmux new-session"
            << OptionalLine(ProcessLine{2990, "tmux:", "server tmux new-session"});
    }
    void processLine()
    {
        QFETCH(QString, line);
        QFETCH(OptionalLine, expected);
        QCOMPARE(parseProcessLine(line), expected);
    }

    void candidate_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("expected");
        QTest::newRow("command named claude") << "1 0 claude" << true;
        QTest::newRow("command path ending in claude") << "1 0 /opt/bin/claude --resume x" << true;
        QTest::newRow("node running claude") << "1 0 node /usr/local/bin/claude" << true;
        QTest::newRow("arguments merely mention it") << "1 0 vim notes-about-claude.txt" << true;
        QTest::newRow("capitalised is not it") << "1 0 Claude /Applications/Claude.app" << false;
        QTest::newRow("unrelated") << "1 0 zsh -zsh" << false;
        QTest::newRow("claude inside the command name only") << "1 0 claude-helper x" << false;
    }
    void candidate()
    {
        QFETCH(QString, line);
        QFETCH(bool, expected);
        const auto parsed = parseProcessLine(line);
        QVERIFY(parsed);
        QCOMPARE(isCandidate(*parsed), expected);
    }

    void workingDirectory_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("expected");
        QTest::newRow("lsof fields") << "p4242\nfcwd\nn/Users/a/app\n"
                                     << "/Users/a/app";
        QTest::newRow("spaces kept") << "p1\nfcwd\nn/Users/a/my project \n"
                                     << "/Users/a/my project ";
        QTest::newRow("first n line wins") << "p1\nn/first\nn/second\n"
                                           << "/first";
        QTest::newRow("nothing") << ""
                                 << "";
        QTest::newRow("no n line") << "p1\nfcwd\n"
                                   << "";
    }
    void workingDirectory()
    {
        QFETCH(QString, output);
        QFETCH(QString, expected);
        QCOMPARE(workingDirectoryFromLsof(output), expected);
    }

    void tty_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<OptionalText>("expected");
        QTest::newRow("BSD ttys003") << "ttys003\n" << OptionalText("/dev/ttys003");
        QTest::newRow("procps pts/3") << "pts/3\n" << OptionalText("/dev/pts/3");
        QTest::newRow("already a path") << "/dev/ttys009\n" << OptionalText("/dev/ttys009");
        QTest::newRow("BSD no terminal") << "??\n" << OptionalText();
        QTest::newRow("procps no terminal") << "?\n" << OptionalText();
        QTest::newRow("process gone") << "" << OptionalText();
    }
    void tty()
    {
        QFETCH(QString, output);
        QFETCH(OptionalText, expected);
        QCOMPARE(ttyFromPs(output), expected);
    }

    void shell_data()
    {
        QTest::addColumn<QString>("comm");
        QTest::addColumn<bool>("expected");
        QTest::newRow("login zsh") << "-zsh\n" << true;
        QTest::newRow("bash path") << "/bin/bash\n" << true;
        QTest::newRow("fish") << "fish" << true;
        QTest::newRow("sh") << "sh" << true;
        QTest::newRow("login") << "login" << true;
        QTest::newRow("tmux") << "tmux: server" << false;
        QTest::newRow("node") << "node\n" << false;
        QTest::newRow("bash with suffix") << "bash5" << false;
        QTest::newRow("empty") << "" << false;
    }
    void shell()
    {
        QFETCH(QString, comm);
        QFETCH(bool, expected);
        QCOMPARE(isKnownShell(comm), expected);
    }

    void parents_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<OptionalId>("walk");
        QTest::addColumn<OptionalId>("shell");
        QTest::newRow("padded") << "  812\n" << OptionalId(812) << OptionalId(812);
        QTest::newRow("init") << "    1\n" << OptionalId() << OptionalId();
        QTest::newRow("kernel") << "0" << OptionalId() << OptionalId();
        QTest::newRow("itself") << "100" << OptionalId() << OptionalId(100);
        QTest::newRow("garbage") << "abc" << OptionalId() << OptionalId();
        QTest::newRow("gone") << "" << OptionalId() << OptionalId();
    }
    void parents()
    {
        QFETCH(QString, output);
        QFETCH(OptionalId, walk);
        QFETCH(OptionalId, shell);
        QCOMPARE(parentForWalk(output, 100), walk);
        QCOMPARE(parentForShell(output), shell);
    }

    void terminal_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<OptionalTerminal>("expected");
        QTest::newRow("Terminal") << "claude TERM_PROGRAM=Apple_Terminal"
                                  << OptionalTerminal(TerminalType::terminal);
        QTest::newRow("iTerm2") << "claude TERM_PROGRAM=iTerm.app" << OptionalTerminal(TerminalType::iterm2);
        QTest::newRow("Warp") << "claude TERM_PROGRAM=WarpTerminal" << OptionalTerminal(TerminalType::warp);
        QTest::newRow("Warp by client version")
            << "claude WARP_CLIENT_VERSION=1" << OptionalTerminal(TerminalType::warp);
        QTest::newRow("VS Code before Warp's version")
            << "claude WARP_CLIENT_VERSION=1 TERM_PROGRAM=vscode" << OptionalTerminal(TerminalType::vscode);
        QTest::newRow("tmux pane inside Warp")
            << "claude TERM_PROGRAM=tmux WARP_CLIENT_VERSION=1" << OptionalTerminal(TerminalType::tmux);
        QTest::newRow("tmux pane inside iTerm2")
            << "claude LC_TERMINAL=iTerm2 TERM_PROGRAM=tmux" << OptionalTerminal(TerminalType::tmux);
        QTest::newRow("marker in the arguments counts")
            << "claude --note TERM_PROGRAM=iTerm.app" << OptionalTerminal(TerminalType::iterm2);
        QTest::newRow("none") << "claude SHELL=/bin/zsh" << OptionalTerminal();
    }
    void terminal()
    {
        QFETCH(QString, listing);
        QFETCH(OptionalTerminal, expected);
        QCOMPARE(terminalFromEnvironment(listing), expected);
    }

    void focusURL_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<OptionalText>("expected");
        QTest::newRow("followed by more variables")
            << "claude WARP_FOCUS_URL=warp://session/abc SHELL=/bin/zsh"
            << OptionalText("warp://session/abc");
        QTest::newRow("at the end") << "claude WARP_FOCUS_URL=warp://session/abc\n"
                                    << OptionalText("warp://session/abc");
        QTest::newRow("not a warp link") << "claude WARP_FOCUS_URL=http://x" << OptionalText();
        QTest::newRow("empty value") << "claude WARP_FOCUS_URL= X=1" << OptionalText();
        QTest::newRow("absent") << "claude SHELL=/bin/zsh" << OptionalText();
    }
    void focusURL()
    {
        QFETCH(QString, listing);
        QFETCH(OptionalText, expected);
        QCOMPARE(warpFocusURLFromListing(listing), expected);
    }

    void tmuxSocket_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<OptionalText>("expected");
        QTest::newRow("default server") << "claude TMUX=/tmp/tmux-1000/default,2990,0 TMUX_PANE=%3"
                                        << OptionalText("/tmp/tmux-1000/default");
        QTest::newRow("named server")
            << "claude TERM=screen TMUX=/tmp/tmux-501/work,12,3" << OptionalText("/tmp/tmux-501/work");
        QTest::newRow("pane variable only") << "claude TMUX_PANE=%3" << OptionalText();
        QTest::newRow("another variable's tail") << "claude MY_TMUX=/tmp/x,1,0" << OptionalText();
    }
    void tmuxSocket()
    {
        QFETCH(QString, listing);
        QFETCH(OptionalText, expected);
        QCOMPARE(tmuxSocketFromListing(listing), expected);
    }

    void resumeID_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<OptionalText>("expected");
        const QString uuid = QStringLiteral("0b7c1a2e-1111-2222-3333-444455556666");
        QTest::newRow("--resume uuid") << "--resume " + uuid << OptionalText(uuid);
        QTest::newRow("-r uuid") << "--model opus -r " + uuid << OptionalText(uuid);
        QTest::newRow("double spaces") << "--resume  " + uuid << OptionalText(uuid);
        QTest::newRow("not a uuid") << "--resume foo" << OptionalText();
        QTest::newRow("final -r") << "--verbose -r" << OptionalText();
        QTest::newRow("only the first flag counts") << "--resume foo --resume " + uuid << OptionalText();
        QTest::newRow("empty dash pieces dropped") << "--resume a--b-c-d-e" << OptionalText("a--b-c-d-e");
        QTest::newRow("six pieces") << "--resume a-b-c-d-e-f" << OptionalText();
        QTest::newRow("flag glued to value") << "--resume=" + uuid << OptionalText();
        QTest::newRow("none") << "" << OptionalText();
    }
    void resumeID()
    {
        QFETCH(QString, arguments);
        QFETCH(OptionalText, expected);
        QCOMPARE(resumeIDFromArguments(arguments), expected);
    }

    void encoding()
    {
        QCOMPARE(encodedProjectDirectory("/Users/a/my.app"), QStringLiteral("-Users-a-my.app"));
        QCOMPARE(encodedProjectDirectory("/home/u/a b_c"), QStringLiteral("-home-u-a b_c"));
    }

    void terminalTexts()
    {
        const QStringList texts{"Terminal", "iTerm2", "Warp", "Code", "Unknown", "tmux"};
        QCOMPARE(qsizetype(TerminalTypes::all.size()), texts.size());
        for (qsizetype i = 0; i < texts.size(); ++i) {
            QCOMPARE(TerminalTypes::toString(TerminalTypes::all[i]), texts.at(i));
            QCOMPARE(TerminalTypes::fromString(texts.at(i)), TerminalTypes::all[i]);
        }
        QCOMPARE(TerminalTypes::fromString("terminal"), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestSessionParsing)
#include "tst_sessionparsing.moc"
