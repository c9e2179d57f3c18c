#include "repair/clear_pending_file_renames.h"

#include "log/log.h"
#include "platform/platform.h"

namespace {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingFileRenames[] = "PendingFileRenameOperations";

}  // namespace

void ClearPendingFileRenames() {
  HKEY session_manager = nullptr;
  LSTATUS status =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_ALL_ACCESS, &session_manager);
  if (status != ERROR_SUCCESS) {
    LogSystemError("RegOpenKey", static_cast<DWORD>(status));
    return;
  }
  // The value is deleted whole, whatever it holds: every queued operation goes.
  status = RegDeleteValueA(session_manager, kPendingFileRenames);
  if (status != ERROR_SUCCESS) LogSystemError("RegDeleteKey", static_cast<DWORD>(status));
  RegCloseKey(session_manager);
}
