#pragma once
// The program's place among the instances of its session, read from the
// system (core/InstanceRules.h decides). UI thread, at the start.
#include "core/InstanceRules.h"

namespace pwg {

// The exit code of a start that leaves its session to the service's program.
// Not 0: should the service be watching this very process (it found it
// running first), it starts its own in its place.
inline constexpr int kLeftToTheService = 2;

// About this process, whose file is the program's.
InstanceFacts ReadInstanceFacts();
// Held by the program the service started, for its whole run: the program's
// other starts in the session see it and leave. Never consulted by the
// program the service starts, so a mark someone else made stops no such one.
void MarkServed();
// Whether the service is installed on this computer.
bool ServiceInstalled();

}  // namespace pwg
