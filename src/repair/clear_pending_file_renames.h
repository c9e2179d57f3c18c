#pragma once

// Deletes the Session Manager's PendingFileRenameOperations value, which
// discards every rename and delete queued for the next start of Windows.
void ClearPendingFileRenames();
