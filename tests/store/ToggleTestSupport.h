#pragma once

#include "store/MCPConfigMutationError.h"
#include "store/MCPConfigService.h"

#include <QCoro/QCoroTask>

#include <nlohmann/json.hpp>

#include <csignal>
#include <optional>
#include <sys/resource.h>

// nlohmann::json has no QTest::toString; compare as values, print as text.
#define QCOMPARE_JSON(actual, expected)                                                                      \
    QVERIFY2((actual) == (expected), qPrintable(QString::fromStdString((actual).dump()) + " != " +           \
                                                QString::fromStdString(nlohmann::json(expected).dump())))

namespace ToggleTestSupport {

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
        co_return Result{false, error.description()};
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
