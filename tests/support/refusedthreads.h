#pragma once

// Refuses new threads the way the system does when memory or its thread
// limit runs out: thread creation fails with EAGAIN while refused. Linking
// refusedthreads.cpp into a test puts its thread creation in front of the
// C library's, for the whole test program.
void setThreadsRefused(bool refused);
