#pragma once

// Copies "msvcp70.dll" and "msvcr70.dll" from the current folder into the
// system32 folder under the Windows directory, each only where it is missing
// there; an existing file is never replaced.
void RestoreRuntimeFiles();
