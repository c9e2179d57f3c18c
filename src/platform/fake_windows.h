// An in-memory Windows for host tests: a file system, the Session Manager
// key, a message table and a Windows directory that a test sets up, then
// questions afterwards, along with a journal of every call the program made.
// Only one FakeWindows exists at a time; the functions of host_windows.h act
// on it.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/host_windows.h"

struct FakeCall {
  std::string operation;          // e.g. "CopyFileA"
  std::vector<std::string> args;  // rendered: texts as they are, numbers in decimal
  std::string result;             // rendered the same way
};

struct FakeFile {
  bool is_folder = false;
  bool read_only = false;
  std::string bytes;
};

struct FakeRegistryValue {
  DWORD type = REG_MULTI_SZ;
  std::string bytes;
};

struct FakeWindows {
  FakeWindows();
  ~FakeWindows();
  FakeWindows(const FakeWindows&) = delete;
  FakeWindows& operator=(const FakeWindows&) = delete;

  // GetWindowsDirectoryA gives this text, or, when `windows_directory_count`
  // is set, that count whatever the text's length.
  std::string windows_directory = "C:\\WINDOWS";
  std::optional<UINT> windows_directory_count;

  // What GetLastError gives until a failing call sets it.
  DWORD last_error = 0;

  // Paths are case-insensitive, repeated backslashes count as one, and a
  // path without a drive is relative to `current_folder`.
  std::string current_folder = "C:\\work";
  void AddFolder(const std::string& path);
  void AddFile(const std::string& path, const std::string& bytes, bool read_only = false);
  const FakeFile* Find(const std::string& path) const;

  // The Session Manager key and its values, keyed case-insensitively.
  bool session_manager_exists = true;
  REGSAM session_manager_rights = KEY_ALL_ACCESS;  // what an open may be granted
  std::map<std::string, FakeRegistryValue> session_manager_values;
  const FakeRegistryValue* FindValue(const std::string& name) const;
  std::set<std::uintptr_t> open_keys;

  // The system message table.
  std::map<DWORD, std::string> messages;

  // Makes every call of the named operation fail with the code: the Reg*
  // functions return it, the others set it as the last error (_access gives -1).
  std::map<std::string, DWORD> failures;

  // Runs after each call has been journaled, e.g. to change the machine
  // between two calls.
  std::function<void(const FakeCall&)> after_call;

  std::vector<FakeCall> journal;
  std::vector<std::string> Operations() const;  // the journal's operation names, in order

  std::map<std::string, FakeFile> files;  // by normalized path
  std::uintptr_t next_key = 0x100;
};

// The key of a path in FakeWindows::files.
std::string NormalizeFakePath(const std::string& path, const std::string& current_folder);
