#pragma once

#include "TestHome.h"
#include "store/MCPConfigMutationError.h"
#include "store/MCPConfigService.h"

#include <QObject>

#include <QCoro/QCoroTask>

#include <nlohmann/json.hpp>

#include <csignal>
#include <memory>
#include <optional>
#include <sys/resource.h>

// nlohmann::json has no QTest::toString; compare as values, print as text.
#define QCOMPARE_JSON(actual, expected)                                                                      \
    QVERIFY2((actual) == (expected), qPrintable(QString::fromStdString((actual).dump()) + " != " +           \
                                                QString::fromStdString(nlohmann::json(expected).dump())))

namespace ToggleTestSupport {

// A fresh temporary home holding `claudeJson` as ~/.claude.json, and a service over it, for every
// test function of the deriving test.
class ToggleFixture : public QObject
{
    Q_OBJECT
public:
    explicit ToggleFixture(QByteArray claudeJson) : m_claudeJson(std::move(claudeJson)) {}

protected Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_home->write(m_home->claudeJson(), m_claudeJson);
        m_service = std::make_unique<MCPConfigService>();
    }
    void cleanup()
    {
        m_service.reset();
        m_home.reset();
    }

protected:
    const QByteArray m_claudeJson;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MCPConfigService> m_service;
};

struct Result
{
    bool ok = true;
    QString description;
    std::optional<int> mutationKind; // MCPConfigMutationError::Kind
    bool fileSystemError = false;
};

// QCoro::waitFor never returns when the awaited task throws, so the error is caught inside.
inline QCoro::Task<Result> capture(MCPConfigService *service, QString name, MCPSource source, bool enabled)
{
    try {
        co_await service->setServer(name, source, enabled);
    } catch (const MCPConfigMutationError &error) {
        co_return Result{false, error.description(), int(error.kind())};
    } catch (const FileSystemError &error) {
        co_return Result{false, error.description(), std::nullopt, true};
    } catch (const QuorlaneError &error) {
        co_return Result{false, error.description(), std::nullopt, false};
    }
    co_return Result{};
}

inline Result setServer(MCPConfigService &service, const QString &name, MCPSource source, bool enabled)
{
    return QCoro::waitFor(capture(&service, name, source, enabled));
}

inline nlohmann::json parse(const QByteArray &bytes)
{
    return nlohmann::json::parse(bytes.cbegin(), bytes.cend());
}

// Makes every write of this process beyond `bytes` fail (EFBIG) for the object's lifetime: the
// one dependable way to make a write fail where tests run as root and permissions stop nothing.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

} // namespace ToggleTestSupport
