#pragma once

#include <functional>

// The switches this process is in the middle of. A switch holds locks (Claude Code's lock folder
// beside ~/.claude.json, Quorlane's lock file) and writes two files in an order that must not be
// cut short; a request to end the process (a termination signal) waits until the last switch has
// finished or rolled back and released everything. Scopes may live on any thread; whenNone is
// called on the main thread and runs its action there.
namespace SwitchInProgress {

// Marks one switch for its lifetime; declared before the switch's locks so it ends after them.
class Scope
{
public:
    Scope();
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
};

[[nodiscard]] bool any();

// Runs `action` from the event loop once no switch is in progress: at once if none is, else
// after the last Scope has ended and its frame has unwound. Later requests replace earlier ones.
void whenNone(std::function<void()> action);

} // namespace SwitchInProgress
