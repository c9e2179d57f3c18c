// The optional trace of a run, "dllmend.log" in the current folder.
#pragma once

#include "platform/platform.h"

// Set by the run when the command line holds any argument; never cleared.
extern bool g_loggingEnabled;

// Appends one entry: the text with each LF stored as CR LF, then CR LF.
// Does nothing while logging is off; a failure to write loses the entry
// silently and never stops the run.
void LogLine(const char* text);

// Reports a failed system operation as two entries: the label, then the
// system's message text for the code.
void LogSystemError(const char* label, DWORD code);
