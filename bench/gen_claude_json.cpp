// Writes a large ~/.claude.json in Claude Code's own layout for the benchmarks:
//   gen_claude_json FILE [SIZE_IN_MB]
#include "ClaudeJsonGenerator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fputs("usage: gen_claude_json FILE [SIZE_IN_MB]\n", stderr);
        return 2;
    }
    const qint64 megabytes = arguments.size() > 2 ? arguments.at(2).toLongLong() : 50;
    if (megabytes <= 0 || !ClaudeJsonGenerator::write(arguments.at(1), megabytes * 1024 * 1024)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    return 0;
}
