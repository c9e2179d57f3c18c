#include "app/run.h"

#include "log/log.h"
#include "repair/clear_pending_file_renames.h"
#include "repair/restore_runtime_files.h"

int RunDllmend(int argc) {
  // Only the count matters: whatever an argument says, even "", it turns the log on.
  if (argc > 1) g_loggingEnabled = true;
  RestoreRuntimeFiles();
  // Runs whatever the restoration met; neither action reports back.
  ClearPendingFileRenames();
  return 0;
}
