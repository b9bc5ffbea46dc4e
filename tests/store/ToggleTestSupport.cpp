#include "ToggleTestSupport.h"

#include "store/MCPConfigMutationError.h"

namespace ToggleTestSupport {

namespace {

// QCoro::waitFor never returns when the awaited task throws, so the error is caught inside.
QCoro::Task<Result> capture(MCPConfigService *service, QString name, MCPSource source, bool enabled)
{
    Result result;
    try {
        co_await service->setServer(name, source, enabled);
    } catch (const MCPConfigMutationError &error) {
        result = {false, error.description(), int(error.kind()), false};
    } catch (const FileSystemError &error) {
        result = {false, error.description(), std::nullopt, true};
    } catch (const QuorlaneError &error) {
        result = {false, error.description(), std::nullopt, false};
    }
    co_return result;
}

} // namespace

Result setServer(MCPConfigService &service, const QString &name, MCPSource source, bool enabled)
{
    return QCoro::waitFor(capture(&service, name, source, enabled));
}

} // namespace ToggleTestSupport
