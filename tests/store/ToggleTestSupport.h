#pragma once

#include "store/MCPConfigService.h"
#include "store/StoreError.h"

#include <QCoro/QCoroTask>

#include <nlohmann/json.hpp>

#include <csignal>
#include <optional>
#include <sys/resource.h>

// Helpers shared by the tests of the switches.
// nlohmann::json has no QTest::toString; compare as values, print as text.
#define QCOMPARE_JSON(actual, expected)                                                                      \
    QVERIFY2((actual) == (expected),                                                                         \
             qPrintable(QString::fromStdString((actual).dump()) + QStringLiteral(" != ") +                   \
                        QString::fromStdString(nlohmann::json(expected).dump())))

namespace ToggleTestSupport {

// What a finished setServer reported: nothing, or the error's type and text.
struct Result
{
    bool ok = true;
    QString description;
    std::optional<int> mutationKind; // MCPConfigMutationError::Kind, when it was one
    bool fileSystemError = false;
};

Result setServer(MCPConfigService &service, const QString &name, MCPSource source, bool enabled);

inline nlohmann::json parse(const QByteArray &bytes)
{
    return nlohmann::json::parse(bytes.cbegin(), bytes.cend());
}

// Makes every write of this process beyond `bytes` fail (EFBIG), root included, for the
// object's lifetime: the one dependable way to make a write fail here, where tests run as root
// and permissions stop nothing.
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
