#include "repair/restore_runtime_files.h"

#include <cstddef>
#include <cstring>

#include "log/log.h"
#include "platform/platform.h"

namespace {

// A path in the ANSI code page, terminator included.
const std::size_t kPathSize = 2048;

const char kFallbackWindowsDirectory[] = "c:\\windows";
const char kSystemFolder[] = "\\system32\\";
const char kDestinationTooLong[] = "destination too long";
const int kExistenceOnly = 0;

struct RuntimeFile {
  const char* name;  // the copy's source in the current folder and its name in system32
  const char* destination_entry;
  const char* copy_entry;
};

const RuntimeFile kRuntimeFiles[] = {
    {"msvcp70.dll", "destination file1:", "about to copy file 1"},
    {"msvcr70.dll", "destination file2:", "about to copy file 2"},
};
const std::size_t kRuntimeFileCount = sizeof kRuntimeFiles / sizeof kRuntimeFiles[0];

void ReadWindowsDirectory(char (&directory)[kPathSize]) {
  UINT count = GetWindowsDirectoryA(directory, kPathSize);
  if (count == 0 || count > kPathSize) {
    // Straight after the call: anything in between could replace the code.
    DWORD code = GetLastError();
    LogSystemError("Windows directory not found", code);
    std::memcpy(directory, kFallbackWindowsDirectory, sizeof kFallbackWindowsDirectory);
    return;
  }
  // A count of 2048 would leave the terminator outside the buffer.
  directory[kPathSize - 1] = '\0';
}

// The directory, "\system32\" and the name, as they stand: a drive root's
// trailing backslash stays doubled. False when the whole path would not fit;
// a cut-off path must never be tested or copied to.
bool ComposeDestination(const char* directory, const char* name, char (&destination)[kPathSize]) {
  const char* parts[] = {directory, kSystemFolder, name};
  std::size_t length = 0;
  for (const char* part : parts) {
    std::size_t part_length = std::strlen(part);
    if (part_length >= kPathSize - length) {
      destination[0] = '\0';
      return false;
    }
    std::memcpy(destination + length, part, part_length);
    length += part_length;
  }
  destination[length] = '\0';
  return true;
}

}  // namespace

void RestoreRuntimeFiles() {
  char windows_directory[kPathSize] = {};
  ReadWindowsDirectory(windows_directory);

  char destinations[kRuntimeFileCount][kPathSize];
  bool composed[kRuntimeFileCount];
  for (std::size_t i = 0; i < kRuntimeFileCount; ++i) {
    composed[i] = ComposeDestination(windows_directory, kRuntimeFiles[i].name, destinations[i]);
  }
  for (std::size_t i = 0; i < kRuntimeFileCount; ++i) {
    LogLine(kRuntimeFiles[i].destination_entry);
    LogLine(composed[i] ? destinations[i] : kDestinationTooLong);
  }

  for (std::size_t i = 0; i < kRuntimeFileCount; ++i) {
    // Anything whose attributes can be read counts as present, a folder too.
    if (!composed[i] || _access(destinations[i], kExistenceOnly) == 0) continue;
    LogLine(kRuntimeFiles[i].copy_entry);
    // Fail-if-exists keeps a file that appeared since the test; the copy's
    // outcome is not reported.
    CopyFileA(kRuntimeFiles[i].name, destinations[i], TRUE);
  }
}
