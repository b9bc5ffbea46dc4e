#pragma once

#include <QString>

// Starting Quorlane when the user logs in: an XDG autostart entry on Linux, the login-item
// service for the main application on macOS.
namespace PlatformLoginItem {

enum class Status
{
    enabled,          // starts at login
    notRegistered,    // does not (never registered, removed, or switched off in the desktop's settings)
    requiresApproval, // registered, but the user has not allowed it in System Settings (macOS)
};

[[nodiscard]] Status status();

// Each returns an empty text when the platform accepted the change, or the platform's reason
// for refusing it. Removing an item that is not registered is no error: off is what was asked.
[[nodiscard]] QString registerMainApplication();
[[nodiscard]] QString unregisterMainApplication();

} // namespace PlatformLoginItem
