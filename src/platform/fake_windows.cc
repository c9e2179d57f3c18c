#include "platform/fake_windows.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

FakeWindows* g_machine = nullptr;

FakeWindows& Machine() {
  if (g_machine == nullptr) {
    std::fprintf(stderr, "a Windows operation was called with no FakeWindows in place\n");
    std::abort();
  }
  return *g_machine;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Text(const char* text) { return text == nullptr ? "(null)" : text; }

std::string Number(unsigned long long value) { return std::to_string(value); }

std::string KeyName(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  return "key#" + Number(reinterpret_cast<std::uintptr_t>(key));
}

// Journals the call, then lets the test act on the machine.
template <typename Result>
Result Finish(FakeCall call, Result result, const std::string& rendered) {
  call.result = rendered;
  FakeWindows& machine = Machine();
  machine.journal.push_back(call);
  if (machine.after_call) machine.after_call(machine.journal.back());
  return result;
}

const DWORD* ForcedFailure(const char* operation) {
  auto it = Machine().failures.find(operation);
  return it == Machine().failures.end() ? nullptr : &it->second;
}

std::string ParentOf(const std::string& normalized) {
  std::size_t slash = normalized.rfind('\\');
  return slash == std::string::npos ? std::string() : normalized.substr(0, slash);
}

bool HasInsert(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') return true;
  }
  return false;
}

// What a failed lookup may leave behind: bytes, and no terminator.
void Scribble(char* buffer, DWORD size) {
  if (buffer != nullptr) std::memset(buffer, '#', size);
}

const char kSessionManager[] = "SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SESSION MANAGER";

}  // namespace

FakeWindows::FakeWindows() {
  if (g_machine != nullptr) {
    std::fprintf(stderr, "only one FakeWindows at a time\n");
    std::abort();
  }
  g_machine = this;
}

FakeWindows::~FakeWindows() { g_machine = nullptr; }

std::string NormalizeFakePath(const std::string& path, const std::string& current_folder) {
  bool has_drive = path.size() >= 2 && path[1] == ':';
  std::string full = has_drive ? path : current_folder + "\\" + path;
  std::string normalized;
  for (char c : full) {
    if (c == '\\' && !normalized.empty() && normalized.back() == '\\') continue;
    normalized += c;
  }
  if (normalized.size() > 3 && normalized.back() == '\\') normalized.pop_back();
  return Upper(normalized);
}

void FakeWindows::AddFolder(const std::string& path) {
  FakeFile folder;
  folder.is_folder = true;
  files[NormalizeFakePath(path, current_folder)] = folder;
}

void FakeWindows::AddFile(const std::string& path, const std::string& bytes, bool read_only) {
  FakeFile file;
  file.bytes = bytes;
  file.read_only = read_only;
  files[NormalizeFakePath(path, current_folder)] = file;
}

const FakeFile* FakeWindows::Find(const std::string& path) const {
  auto it = files.find(NormalizeFakePath(path, current_folder));
  return it == files.end() ? nullptr : &it->second;
}

const FakeRegistryValue* FakeWindows::FindValue(const std::string& name) const {
  for (const auto& [value_name, value] : session_manager_values) {
    if (Upper(value_name) == Upper(name)) return &value;
  }
  return nullptr;
}

std::vector<std::string> FakeWindows::Operations() const {
  std::vector<std::string> names;
  for (const FakeCall& call : journal) names.push_back(call.operation);
  return names;
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  FakeWindows& machine = Machine();
  FakeCall call{"GetWindowsDirectoryA", {"buffer", Number(size)}, {}};
  if (const DWORD* code = ForcedFailure(call.operation.c_str())) {
    machine.last_error = *code;
    return Finish<UINT>(call, 0, "0");
  }
  const std::string& directory = machine.windows_directory;
  UINT count = static_cast<UINT>(directory.size());
  if (directory.size() < size) {
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  } else {
    count = static_cast<UINT>(directory.size() + 1);  // the size it would need
  }
  if (machine.windows_directory_count) count = *machine.windows_directory_count;
  return Finish(call, count, Number(count));
}

DWORD GetLastError() {
  DWORD code = Machine().last_error;
  return Finish(FakeCall{"GetLastError", {}, {}}, code, Number(code));
}

BOOL CopyFileA(const char* existing_file, const char* new_file, BOOL fail_if_exists) {
  FakeWindows& machine = Machine();
  FakeCall call{"CopyFileA", {Text(existing_file), Text(new_file), Number(fail_if_exists)}, {}};
  auto fail = [&](DWORD code) {
    machine.last_error = code;
    return Finish<BOOL>(call, FALSE, "FALSE");
  };
  if (const DWORD* code = ForcedFailure(call.operation.c_str())) return fail(*code);
  const FakeFile* source = machine.Find(existing_file);
  if (source == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (source->is_folder) return fail(ERROR_ACCESS_DENIED);
  std::string target = NormalizeFakePath(new_file, machine.current_folder);
  auto parent = machine.files.find(ParentOf(target));
  if (parent == machine.files.end() || !parent->second.is_folder) {
    return fail(ERROR_PATH_NOT_FOUND);
  }
  auto existing = machine.files.find(target);
  if (existing != machine.files.end()) {
    if (fail_if_exists) return fail(ERROR_FILE_EXISTS);
    if (existing->second.is_folder || existing->second.read_only) {
      return fail(ERROR_ACCESS_DENIED);
    }
  }
  FakeFile copy = *source;
  machine.files[target] = copy;
  return Finish<BOOL>(call, TRUE, "TRUE");
}

DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                     char* buffer, DWORD size, std::va_list* arguments) {
  FakeWindows& machine = Machine();
  FakeCall call{"FormatMessageA",
                {Number(flags), source == nullptr ? "null" : "source", Number(message_id),
                 Number(language_id), buffer == nullptr ? "null" : "buffer", Number(size),
                 arguments == nullptr ? "null" : "arguments"},
                {}};
  auto fail = [&](DWORD code, const std::string& why) {
    Scribble(buffer, size);
    machine.last_error = code;
    return Finish<DWORD>(call, 0, "0 (" + why + ")");
  };
  if (const DWORD* code = ForcedFailure(call.operation.c_str())) return fail(*code, "forced");
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
    return fail(ERROR_INVALID_PARAMETER, "not a system lookup into a buffer");
  }
  auto message = machine.messages.find(message_id);
  if (message == machine.messages.end()) return fail(ERROR_MR_MID_NOT_FOUND, "no such message");
  const std::string& text = message->second;
  if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && arguments == nullptr && HasInsert(text)) {
    // Windows would read the insert from a null argument list.
    return fail(ERROR_INVALID_PARAMETER, "inserts read from a null argument list");
  }
  if (text.size() + 1 > size) return fail(ERROR_INSUFFICIENT_BUFFER, "text too long");
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return Finish(call, static_cast<DWORD>(text.size()), Number(text.size()));
}

LSTATUS RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM desired, HKEY* result) {
  FakeWindows& machine = Machine();
  FakeCall call{"RegOpenKeyExA",
                {KeyName(key), Text(sub_key), Number(options), Number(desired), "result"},
                {}};
  auto status = [&](LSTATUS code) { return Finish(call, code, Number(code)); };
  if (const DWORD* code = ForcedFailure(call.operation.c_str())) {
    return status(static_cast<LSTATUS>(*code));
  }
  if (key != HKEY_LOCAL_MACHINE || sub_key == nullptr || Upper(sub_key) != kSessionManager ||
      !machine.session_manager_exists) {
    return status(ERROR_FILE_NOT_FOUND);
  }
  if ((desired & ~machine.session_manager_rights) != 0) return status(ERROR_ACCESS_DENIED);
  std::uintptr_t handle = machine.next_key++;
  machine.open_keys.insert(handle);
  *result = reinterpret_cast<HKEY>(handle);
  call.args.back() = KeyName(*result);
  return status(ERROR_SUCCESS);
}

LSTATUS RegDeleteValueA(HKEY key, const char* value_name) {
  FakeWindows& machine = Machine();
  FakeCall call{"RegDeleteValueA", {KeyName(key), Text(value_name)}, {}};
  auto status = [&](LSTATUS code) { return Finish(call, code, Number(code)); };
  if (const DWORD* code = ForcedFailure(call.operation.c_str())) {
    return status(static_cast<LSTATUS>(*code));
  }
  if (machine.open_keys.count(reinterpret_cast<std::uintptr_t>(key)) == 0) {
    return status(ERROR_INVALID_HANDLE);
  }
  if ((machine.session_manager_rights & KEY_SET_VALUE) == 0) return status(ERROR_ACCESS_DENIED);
  for (auto it = machine.session_manager_values.begin(); it != machine.session_manager_values.end();
       ++it) {
    if (value_name != nullptr && Upper(it->first) == Upper(value_name)) {
      machine.session_manager_values.erase(it);
      return status(ERROR_SUCCESS);
    }
  }
  return status(ERROR_FILE_NOT_FOUND);
}

LSTATUS RegCloseKey(HKEY key) {
  FakeWindows& machine = Machine();
  FakeCall call{"RegCloseKey", {KeyName(key)}, {}};
  auto status = [&](LSTATUS code) { return Finish(call, code, Number(code)); };
  if (const DWORD* code = ForcedFailure(call.operation.c_str())) {
    return status(static_cast<LSTATUS>(*code));
  }
  if (machine.open_keys.erase(reinterpret_cast<std::uintptr_t>(key)) == 0) {
    return status(ERROR_INVALID_HANDLE);
  }
  return status(ERROR_SUCCESS);
}

int _access(const char* path, int mode) {
  FakeWindows& machine = Machine();
  FakeCall call{"_access", {Text(path), Number(mode)}, {}};
  if (ForcedFailure(call.operation.c_str()) != nullptr) return Finish(call, -1, "-1");
  int result = machine.Find(path) != nullptr ? 0 : -1;
  return Finish(call, result, Number(result));
}
