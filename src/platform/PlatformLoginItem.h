#pragma once

// Starting Quorlane when the user logs in: an XDG autostart entry on Linux, the login-item
// service for the main application on macOS. Failures are reported as false and nothing else;
// the caller decides what a failure means.
namespace PlatformLoginItem {

// Whether the application is registered and enabled. A registration the user has not approved
// yet, or one switched off in the desktop's settings, counts as not enabled.
[[nodiscard]] bool isRegisteredAndEnabled();

// Each returns whether the platform accepted the change.
[[nodiscard]] bool registerMainApplication();
[[nodiscard]] bool unregisterMainApplication();

} // namespace PlatformLoginItem
