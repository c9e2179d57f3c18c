// Test support: a fresh temporary folder that is the current folder for the
// object's lifetime, then removed with everything in it.
#pragma once

#include <optional>
#include <string>

struct ScopedTempDir {
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  std::string path;
  std::string previous_folder;
};

// The bytes of a file in the current folder, or nothing if it can't be read.
std::optional<std::string> ReadFileBytes(const std::string& name);
void WriteFileBytes(const std::string& name, const std::string& bytes);
