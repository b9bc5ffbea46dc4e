#pragma once

#include <QFile>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// Writes a large ~/.claude.json in Claude Code's own layout and style (JSON.stringify with two
// spaces, members in insertion order, no final newline): top-level state, "mcpServers" with "x"
// first, and thousands of "projects" with their statistics, until the file reaches `size` bytes.
// Deterministic for a seed. Strings carry escapes, non-ASCII text and emoji; numbers carry
// fractions, exponents and 13-digit times, as real files do. Streams to the file: generating
// 50 MB takes well under a second and little memory. Used by the benchmarks and by the test that
// compares the writer with its predecessor on a big realistic file.
class ClaudeJsonGenerator
{
public:
    static bool write(const QString &path, qint64 size, std::uint64_t seed = 7)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        ClaudeJsonGenerator generator(file, seed);
        generator.document(size);
        generator.flush();
        return file.error() == QFileDevice::NoError;
    }

private:
    ClaudeJsonGenerator(QFile &file, std::uint64_t seed)
        : m_file(file), m_state(seed * 0x9E3779B97F4A7C15ull + 1)
    {}

    std::uint64_t random()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    int below(int n) { return int(random() % std::uint64_t(n)); }
    template<typename T> const T &pick(const std::vector<T> &values)
    {
        return values[std::size_t(below(int(values.size())))];
    }

    // Streaming JSON.stringify(value, null, 2): `m_first` per open container.
    void raw(const std::string &text)
    {
        m_buffer += text;
        if (m_buffer.size() > (1 << 20))
            flush();
    }
    void flush()
    {
        m_file.write(m_buffer.data(), qint64(m_buffer.size()));
        m_written += qint64(m_buffer.size());
        m_buffer.clear();
    }
    void newline() { raw("\n" + std::string(m_first.size() * 2, ' ')); }
    void separator()
    {
        if (m_first.empty())
            return;
        if (!m_first.back())
            raw(",");
        m_first.back() = false;
        newline();
    }
    void key(const std::string &name)
    {
        separator();
        raw("\"" + name + "\": ");
    }
    void open(char bracket)
    {
        raw(std::string(1, bracket));
        m_first.push_back(true);
    }
    void close(char bracket)
    {
        const bool empty = m_first.back();
        m_first.pop_back();
        if (!empty)
            newline();
        raw(std::string(1, bracket));
    }
    void element() { separator(); }
    void text(const std::string &escaped) { raw("\"" + escaped + "\""); }
    void number(const std::string &literal) { raw(literal); }
    void stringArray(const std::string &name, const std::vector<std::string> &values)
    {
        key(name);
        open('[');
        for (const std::string &value : values) {
            element();
            text(value);
        }
        close(']');
    }
    qint64 size() const { return m_written + qint64(m_buffer.size()); }

    std::string hex(int digits)
    {
        static const char alphabet[] = "0123456789abcdef";
        std::string out;
        for (int i = 0; i < digits; ++i)
            out.push_back(alphabet[below(16)]);
        return out;
    }
    std::string uuid() { return hex(8) + "-" + hex(4) + "-" + hex(4) + "-" + hex(4) + "-" + hex(12); }
    std::string integer(int maximum) { return std::to_string(below(maximum)); }
    std::string cost()
    {
        return std::to_string(below(40)) + "." + std::to_string(10000000 + below(89999999));
    }

    void server(const std::string &name, bool http)
    {
        key(name);
        open('{');
        if (http) {
            key("type");
            text(below(2) ? "http" : "sse");
            key("url");
            text("http://127.0.0.1:" + std::to_string(9 + below(2)) + "/mcp");
            key("headers");
            open('{');
            key("Authorization");
            text("Bearer " + hex(40));
            close('}');
        } else {
            key("type");
            text("stdio");
            key("command");
            text("/nonexistent/bin/mcp-" + name);
            stringArray("args", {"--stdio", "--name=\\\"" + name + "\\\""});
            key("env");
            open('{');
            if (below(3) == 0) {
                key("TOKEN");
                text(hex(32));
            }
            close('}');
        }
        close('}');
    }

    void topLevel()
    {
        key("numStartups");
        number(integer(5000));
        key("installMethod");
        text("native");
        key("autoUpdates");
        number("false");
        key("tipsHistory");
        open('{');
        for (const char *tip :
             {"new-user-warmup", "plan-mode-for-complex-tasks", "memory-command", "theme-command"}) {
            key(tip);
            number(integer(4000));
        }
        close('}');
        key("cachedGrowthBookFeatures");
        open('{');
        key("tengu_ratio");
        number("1E5");
        key("tengu_small");
        number("1e-7");
        key("tengu_zero");
        number("-0.0");
        key("tengu_three");
        number("3.0");
        key("tengu_unicode_\u00e9\u65e5\u672c");
        text("caf\\u00e9 \xF0\x9F\x98\x80 \\ud83d\\ude00 tab\\tquote\\\"slash\\/ctl\\u0001");
        key("Zebra");
        number("null");
        key("\\u00e4pfel");
        text("sorted by its decoded bytes");
        close('}');
        key("userID");
        text(hex(64));
        key("firstStartTime");
        text("2025-06-26T13:54:09.496Z");
        key("oauthAccount");
        open('{');
        key("accountUuid");
        text(uuid());
        key("emailAddress");
        text("dev@example.com");
        key("organizationRole");
        text("admin");
        close('}');
        key("mcpServers");
        open('{');
        server("x", false);
        for (const char *name : {"filesystem", "memory", "postgres", "sentry", "linear", "notion", "slack"})
            server(name, below(3) == 0);
        close('}');
    }

    void project(int index)
    {
        key("/home/dev/" + pick(m_folders) + "/project-" + std::to_string(index) +
            (index % 97 == 0 ? " \u00e9t\u00e9" : ""));
        open('{');
        std::vector<std::string> tools;
        const int toolCount = 1 + below(30);
        for (int i = 0; i < toolCount; ++i)
            tools.push_back("Bash(" + pick(m_commands) + " " + hex(6) + ":*)");
        stringArray("allowedTools", tools);
        stringArray("mcpContextUris", {});
        key("mcpServers");
        open('{');
        if (below(5) == 0)
            for (int i = 0, n = 1 + below(4); i < n; ++i)
                server("proj-" + std::to_string(i), below(3) == 0);
        close('}');
        stringArray("enabledMcpjsonServers", {});
        stringArray("disabledMcpjsonServers", {});
        key("hasTrustDialogAccepted");
        number(below(2) ? "true" : "false");
        stringArray("exampleFiles", {"src/" + hex(5) + ".ts", "src/auth.ts", "README.md"});
        key("exampleFilesGeneratedAt");
        number("17" + std::to_string(10000000000ll + below(999999999)));
        key("lastCost");
        number(cost());
        for (const char *statistic :
             {"lastAPIDuration", "lastDuration", "lastLinesAdded", "lastLinesRemoved", "lastTotalInputTokens",
              "lastTotalOutputTokens", "lastTotalCacheReadInputTokens"}) {
            key(statistic);
            number(integer(5000000));
        }
        key("lastModelUsage");
        open('{');
        key("claude-opus-4-5-20251101");
        open('{');
        key("inputTokens");
        number(integer(100000));
        key("costUSD");
        number(cost());
        key("contextWindow");
        number("200000");
        close('}');
        close('}');
        key("lastSessionId");
        text(uuid());
        key("lastPrompt");
        text("fix the \\\"flaky\\\" test in " + pick(m_folders) + "\\nthen run it \xE2\x9C\x85");
        key("reactVulnerabilityCache");
        open('{');
        key("detected");
        number("false");
        key("package");
        number("null");
        close('}');
        close('}');
    }

    void document(qint64 target)
    {
        open('{');
        topLevel();
        key("projects");
        open('{');
        for (int index = 0; size() < target - 2048; ++index)
            project(index);
        close('}');
        stringArray("githubRepoPaths", {"dev/quorlane", "dev/\\u65e5\\u672c"});
        close('}');
    }

    QFile &m_file;
    std::uint64_t m_state;
    std::string m_buffer;
    qint64 m_written = 0;
    std::vector<bool> m_first;
    const std::vector<std::string> m_folders{"work", "src", "Projects", "code", "\u00fcbung"};
    const std::vector<std::string> m_commands{"ls", "git", "npm", "cargo", "make", "rg"};
};
