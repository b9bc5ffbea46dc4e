#pragma once

#include <sys/types.h>

// The process groups of the children that are still alive, so that they end with us on every
// exit path: a terminate, interrupt or hang-up signal and a normal exit kill them all (a child
// on Linux also gets a parent-death signal, for the kill nobody can catch). A program that
// installs its own handler for those signals after the first child started calls killAll from
// it.
namespace ChildGroups {

// Installs the signal handlers and the exit hook, once; called before the first child starts.
void installHandlers();

// Records a live group. False when every slot is taken: the group is still ended by its owner,
// only not on a signal.
bool add(pid_t group);
void remove(pid_t group);

// Sends SIGKILL to every recorded group. Async-signal-safe.
void killAll();

} // namespace ChildGroups
