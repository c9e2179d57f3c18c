#include "testing/scoped_temp_dir.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

ScopedTempDir::ScopedTempDir() {
  previous_folder = std::filesystem::current_path().string();
  std::string pattern = (std::filesystem::temp_directory_path() / "dllmend-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  path = pattern;
  std::filesystem::current_path(path);
}

ScopedTempDir::~ScopedTempDir() {
  std::filesystem::current_path(previous_folder);
  std::filesystem::remove_all(path);
}

std::optional<std::string> ReadFileBytes(const std::string& name) {
  if (!std::filesystem::is_regular_file(name)) return std::nullopt;
  std::ifstream file(name, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& name, const std::string& bytes) {
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
