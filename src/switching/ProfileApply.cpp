#include "switching/ProfileApply.h"

#include "platform/Paths.h"
#include "store/MCPConfigService.h"
#include "store/QuorlaneLock.h"

#include <QPointer>

QCoro::Task<ProfileApply::Result> ProfileApply::apply(SwitchFlow flow, MCPConfigService *config,
                                                      Request request)
{
    QPointer<MCPConfigService> service(config);
    QuorlaneLock applying(Paths::quorlaneSupportDirectory(), QStringLiteral("profile.lock"));
    if (!request.dryRun) {
        QCoro::Task<void> locking = applying.acquire();
        co_await std::move(locking);
    }
    QCoro::Task<void> reloading = flow.reload();
    co_await std::move(reloading);
    Result result;
    if (!service)
        co_return result;
    result.plan = ProfilePlans::plan(request.profile.servers, ProfilePlans::currentState(*service));
    if (request.dryRun || result.plan.switches.isEmpty())
        co_return result;
    SwitchFlow::Batch batch{result.plan.switches, request.relaunch, std::move(request.progress)};
    QCoro::Task<SwitchFlow::BatchResult> switching = flow.run(std::move(batch));
    const SwitchFlow::BatchResult done = co_await std::move(switching);
    result.done = done.done;
    result.failure = done.failure;
    co_return result;
}
