#pragma once

// The whole run: any command-line argument switches the log on; then the
// runtime files are restored and the queued renames cleared, in that order.
// Returns the exit status, always 0.
int RunDllmend(int argc);
