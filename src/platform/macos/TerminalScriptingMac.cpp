#include "platform/TerminalScripting.h"

#include "platform/ShortCommand.h"

#include <QThread>

#include <ApplicationServices/ApplicationServices.h>
#include <CoreServices/CoreServices.h>

#include <mutex>

namespace TerminalScripting {
namespace {

OSStatus automationPermission(const QByteArray &identifier)
{
    AEAddressDesc target;
    if (AECreateDesc(typeApplicationBundleID, identifier.constData(), identifier.size(), &target) != noErr)
        return procNotFound;
    // Every event class and id: the scripts send more than one kind. Asks the user when they have
    // not decided yet, and waits for the answer.
    const OSStatus status = AEDeterminePermissionToAutomateTarget(&target, typeWildCard, typeWildCard, true);
    AEDisposeDesc(&target);
    return status;
}

} // namespace

QString osascriptProgram()
{
    // Tests point this at a recorder, so they never drive the developer's own terminals.
    const QString configured = qEnvironmentVariable("QUORLANE_OSASCRIPT");
    return configured.isEmpty() ? QStringLiteral("/usr/bin/osascript") : configured;
}

bool mayAutomate(const QString &application)
{
    // A stand-in for osascript sends no Apple events: nothing to ask.
    if (!qEnvironmentVariableIsEmpty("QUORLANE_OSASCRIPT"))
        return true;
    const QByteArray identifier = application.toUtf8();
    OSStatus status = automationPermission(identifier);
    // The permission of an application that is not running cannot be told. A terminal hosting a
    // session runs; System Events starts on demand, so it is started (in the background) first.
    if (status == procNotFound && ShortCommand::run(QStringLiteral("/usr/bin/open"),
                                                    {QStringLiteral("-g"), QStringLiteral("-b"), application})
                                      .succeeded()) {
        for (int attempt = 0; attempt < 20 && status == procNotFound; ++attempt) {
            QThread::msleep(100);
            status = automationPermission(identifier);
        }
    }
    return status == noErr;
}

bool mayTypeKeystrokes()
{
    if (!qEnvironmentVariableIsEmpty("QUORLANE_OSASCRIPT"))
        return true;
    // The system's prompt once per process, when a keystroke relaunch first needs it; later
    // calls only read the trust, so the prompt does not come back at every relaunch.
    static std::once_flag prompted;
    bool asked = false;
    bool trusted = false;
    std::call_once(prompted, [&] {
        const void *keys[] = {kAXTrustedCheckOptionPrompt};
        const void *values[] = {kCFBooleanTrue};
        const CFDictionaryRef options =
            CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                               &kCFTypeDictionaryValueCallBacks);
        trusted = AXIsProcessTrustedWithOptions(options);
        CFRelease(options);
        asked = true;
    });
    return asked ? trusted : AXIsProcessTrusted();
}

} // namespace TerminalScripting
