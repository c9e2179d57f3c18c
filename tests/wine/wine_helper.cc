// The end-to-end suite's hands on the Windows side: starts dllmend with a raw
// command line and sets up or reads what a run touches, through the same
// system the tool uses. One command per call; results go to standard output.
//
//   run OUT ERR HEXCMDLINE    starts the command line (hex-encoded, so that any
//                             Windows command line can be passed), its stdout and
//                             stderr going to OUT and ERR; prints "exit N" and
//                             the microseconds from its start to its end
//   run-holding FILE OUT ERR HEXCMDLINE
//                             the same while FILE is held open for reading and
//                             writing, shared for both
//   set-value TYPE HEXBYTES   sets PendingFileRenameOperations with that type and bytes
//   get-value                 prints "absent", or "TYPE HEXBYTES"
//   delete-value              removes PendingFileRenameOperations if present
//   queue-delete PATH         queues PATH for deletion at the next start
//   windows-directory         prints what GetWindowsDirectoryA gives
//   message CODE OUT          writes the system's message text for CODE to OUT, or
//                             prints "none" when there is none
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

std::string FromHex(const char* hex) {
  std::string bytes;
  for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
    char pair[3] = {hex[i], hex[i + 1], '\0'};
    bytes += static_cast<char>(std::strtoul(pair, nullptr, 16));
  }
  return bytes;
}

int Fail(const char* what, DWORD code) {
  std::printf("error %s %lu\n", what, static_cast<unsigned long>(code));
  return 1;
}

HANDLE InheritableFile(const char* path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Run(const char* out_path, const char* err_path, const char* hex_command_line,
        const char* held_path) {
  HANDLE held = INVALID_HANDLE_VALUE;
  if (held_path != nullptr) {
    held = CreateFileA(held_path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return Fail("hold", GetLastError());
  }
  std::string command_line = FromHex(hex_command_line);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = InheritableFile(out_path);
  startup.hStdError = InheritableFile(err_path);
  if (startup.hStdOutput == INVALID_HANDLE_VALUE || startup.hStdError == INVALID_HANDLE_VALUE) {
    return Fail("capture", GetLastError());
  }
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return Fail("CreateProcessA", GetLastError());
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  long long microseconds = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
  std::printf("exit %lu microseconds %lld\n", static_cast<unsigned long>(exit_code), microseconds);
  return 0;
}

int WithKey(REGSAM access, HKEY* key) {
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, access, key);
  return status == ERROR_SUCCESS ? 0 : Fail("RegOpenKeyExA", static_cast<DWORD>(status));
}

int SetValue(const char* type, const char* hex_bytes) {
  HKEY key;
  if (WithKey(KEY_SET_VALUE, &key) != 0) return 1;
  std::string bytes = FromHex(hex_bytes);
  LONG status =
      RegSetValueExA(key, kPending, 0, std::strtoul(type, nullptr, 10),
                     reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", static_cast<DWORD>(status));
}

int GetValue() {
  HKEY key;
  if (WithKey(KEY_QUERY_VALUE, &key) != 0) return 1;
  DWORD type = 0;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, kPending, nullptr, &type, nullptr, &size);
  std::string bytes(size, '\0');
  if (status == ERROR_SUCCESS && size != 0) {
    status =
        RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
  }
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) {
    std::printf("absent\n");
    return 0;
  }
  if (status != ERROR_SUCCESS) return Fail("RegQueryValueExA", static_cast<DWORD>(status));
  std::printf("%lu ", static_cast<unsigned long>(type));
  for (DWORD i = 0; i < size; ++i) std::printf("%02x", static_cast<unsigned char>(bytes[i]));
  std::printf("\n");
  return 0;
}

int DeleteValue() {
  HKEY key;
  if (WithKey(KEY_SET_VALUE, &key) != 0) return 1;
  LONG status = RegDeleteValueA(key, kPending);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    return Fail("RegDeleteValueA", static_cast<DWORD>(status));
  }
  return 0;
}

int QueueDelete(const char* path) {
  if (!MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    return Fail("MoveFileExA", GetLastError());
  }
  return 0;
}

int Message(const char* code_text, const char* out_path) {
  DWORD code = std::strtoul(code_text, nullptr, 10);
  // The same lookup as dllmend's, so a text it can't get is one this can't either.
  char text[256];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  if (length == 0) {
    std::printf("none\n");
    return 0;
  }
  std::FILE* out = std::fopen(out_path, "wb");
  if (out == nullptr) return Fail("fopen", 0);
  std::fwrite(text, 1, length, out);
  std::fclose(out);
  return 0;
}

int WindowsDirectory() {
  char directory[MAX_PATH];
  UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Fail("GetWindowsDirectoryA", GetLastError());
  std::printf("%s\n", directory);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "run" && argc == 5) return Run(argv[2], argv[3], argv[4], nullptr);
  if (command == "run-holding" && argc == 6) return Run(argv[3], argv[4], argv[5], argv[2]);
  if (command == "set-value" && argc == 4) return SetValue(argv[2], argv[3]);
  if (command == "get-value" && argc == 2) return GetValue();
  if (command == "delete-value" && argc == 2) return DeleteValue();
  if (command == "queue-delete" && argc == 3) return QueueDelete(argv[2]);
  if (command == "windows-directory" && argc == 2) return WindowsDirectory();
  if (command == "message" && argc == 4) return Message(argv[2], argv[3]);
  std::printf("usage: see the top of wine_helper.cc\n");
  return 2;
}
