// The fixture most tests start from: an in-memory machine whose system32
// lacks both runtime files while the current folder holds them, a message
// table of the fixture's own, logging off, and a temporary current folder
// on the host for "dllmend.log".
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "log/log.h"
#include "platform/fake_windows.h"
#include "testing/scoped_temp_dir.h"

// Message texts end in CR LF like the system's own.
inline const char kFileNotFoundText[] = "No such file here.\r\n";
inline const char kAccessDeniedText[] = "Access is not allowed.\r\n";
inline const char kTwoLineText[] = "First line.\r\nSecond line.\r\n";
inline const char kInsertText[] = "The file %1 is in use.\r\n";

inline const char kSystem32[] = "C:\\WINDOWS\\system32";
inline const char kDestination1[] = "C:\\WINDOWS\\system32\\msvcp70.dll";
inline const char kDestination2[] = "C:\\WINDOWS\\system32\\msvcr70.dll";
inline const char kSource1Bytes[] = "MZ source p70";
inline const char kSource2Bytes[] = "MZ source r70";

class DllmendTest : public ::testing::Test {
 protected:
  DllmendTest() {
    g_loggingEnabled = false;
    windows.AddFolder("C:\\WINDOWS");
    windows.AddFolder(kSystem32);
    windows.AddFolder(windows.current_folder);
    windows.AddFile("msvcp70.dll", kSource1Bytes);
    windows.AddFile("msvcr70.dll", kSource2Bytes);
    windows.messages[ERROR_FILE_NOT_FOUND] = kFileNotFoundText;
    windows.messages[ERROR_ACCESS_DENIED] = kAccessDeniedText;
    windows.messages[ERROR_INVALID_HANDLE] = kTwoLineText;
    windows.messages[32] = kInsertText;
    windows.messages[1000] = std::string(255, 'x');
    windows.messages[1001] = std::string(256, 'y');
  }
  ~DllmendTest() override { g_loggingEnabled = false; }

  // The log's bytes; empty when there is no log file.
  std::string Log() const { return ReadFileBytes("dllmend.log").value_or(""); }
  bool LogExists() const { return ReadFileBytes("dllmend.log").has_value(); }

  ScopedTempDir temp_dir;
  FakeWindows windows;
};

// One entry as the log stores it.
inline std::string Entry(const std::string& text) {
  std::string stored;
  for (char c : text) stored += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return stored + "\r\n";
}

// Names a parameterized case after its `what`, for readable test names.
struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (const char* c = info.param.what; *c != '\0'; ++c) {
      if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
    }
    return name;
  }
};
