#include "platform/PlatformLoginItem.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

// The login-item service for the main application bundle (macOS 13 and later, the deployment
// target). The user can withhold approval in System Settings: such an item is registered but
// does not start, and says so through its status.
namespace PlatformLoginItem {
namespace {

QString describe(NSError *error)
{
    return error ? QString::fromNSString(error.localizedDescription) : QStringLiteral("unknown error");
}

} // namespace

Status status()
{
    @autoreleasepool {
        switch (SMAppService.mainAppService.status) {
        case SMAppServiceStatusEnabled:
            return Status::enabled;
        case SMAppServiceStatusRequiresApproval:
            return Status::requiresApproval;
        case SMAppServiceStatusNotRegistered:
        case SMAppServiceStatusNotFound:
            break;
        }
        return Status::notRegistered;
    }
}

QString registerMainApplication()
{
    @autoreleasepool {
        // Registering again would fail as "already registered": an item awaiting approval stays
        // as it is, and its status tells the caller so.
        if (status() != Status::notRegistered)
            return {};
        NSError *error = nil;
        if ([SMAppService.mainAppService registerAndReturnError:&error])
            return {};
        return describe(error);
    }
}

QString unregisterMainApplication()
{
    @autoreleasepool {
        // Unregistering an item that is not registered fails ("job not found"); off is what was
        // asked for.
        if (status() == Status::notRegistered)
            return {};
        NSError *error = nil;
        if ([SMAppService.mainAppService unregisterAndReturnError:&error])
            return {};
        return describe(error);
    }
}

} // namespace PlatformLoginItem
