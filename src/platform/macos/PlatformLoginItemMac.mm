#include "platform/PlatformLoginItem.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

// The login-item service for the main application bundle (macOS 13 and later). Registration of
// a bundle the user has not approved yet reports a status other than enabled.
namespace PlatformLoginItem {

bool isRegisteredAndEnabled()
{
    if (@available(macOS 13.0, *)) {
        @autoreleasepool {
            return SMAppService.mainAppService.status == SMAppServiceStatusEnabled;
        }
    }
    return false;
}

bool registerMainApplication()
{
    if (@available(macOS 13.0, *)) {
        @autoreleasepool {
            NSError *error = nil;
            return [SMAppService.mainAppService registerAndReturnError:&error];
        }
    }
    return false;
}

bool unregisterMainApplication()
{
    if (@available(macOS 13.0, *)) {
        @autoreleasepool {
            NSError *error = nil;
            return [SMAppService.mainAppService unregisterAndReturnError:&error];
        }
    }
    return false;
}

} // namespace PlatformLoginItem
