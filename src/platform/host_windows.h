// Host builds only: the few Windows and C runtime operations, types and
// constants that dllmend uses, so that its logic compiles unchanged on Linux
// and runs against the in-memory Windows of fake_windows.cc. The numeric
// values are the ones Windows documents; nothing else of Windows is here.
#pragma once

#include <cstdarg>
#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;  // 32 bits on Windows, whatever the host's long is
using LSTATUS = LONG;
using REGSAM = DWORD;

struct HostRegistryKey;
using HKEY = HostRegistryKey*;

#define TRUE 1
#define FALSE 0

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#define KEY_SET_VALUE 0x0002u
#define KEY_ALL_ACCESS 0xF003Fu

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MR_MID_NOT_FOUND 317L

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

// Kernel
UINT GetWindowsDirectoryA(char* buffer, UINT size);
DWORD GetLastError();
BOOL CopyFileA(const char* existing_file, const char* new_file, BOOL fail_if_exists);
DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                     char* buffer, DWORD size, std::va_list* arguments);

// Registry
LSTATUS RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM desired, HKEY* result);
LSTATUS RegDeleteValueA(HKEY key, const char* value_name);
LSTATUS RegCloseKey(HKEY key);

// C runtime
int _access(const char* path, int mode);
