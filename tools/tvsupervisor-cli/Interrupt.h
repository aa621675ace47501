// Ctrl-C and SIGTERM end a command cleanly: the session is closed and
// recorded, never cut off with the port held or the history unwritten.
#pragma once

void InstallInterruptHandler();
bool Interrupted();
