#include "log/log.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

bool g_loggingEnabled = false;

namespace {

const char kLogFileName[] = "dllmend.log";
const char kLineEnd[] = "\r\n";
const DWORD kMessageBufferSize = 256;
const char kNoMessageText[] = "no message text for error ";

// Writes the entry's bytes with each LF stored as CR LF. The stream is
// binary and the translation is ours, so every build writes the same bytes.
void WriteEntry(std::FILE* log, const char* text) {
  const char* run_start = text;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n') {
      std::fwrite(run_start, 1, static_cast<std::size_t>(c - run_start), log);
      std::fwrite(kLineEnd, 1, 2, log);
      run_start = c + 1;
    }
  }
  std::fwrite(run_start, 1, std::strlen(run_start), log);
  std::fwrite(kLineEnd, 1, 2, log);
}

// Writes the decimal digits of `value` and a terminator to `text` at `length`.
void AppendDecimal(char* text, std::size_t length, DWORD value) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count != 0) text[length++] = digits[--count];
  text[length] = '\0';
}

}  // namespace

void LogLine(const char* text) {
  if (!g_loggingEnabled) return;
  // Opened per entry, so the file is never held between entries and a crash
  // loses nothing written. The C runtime opens it shared for reading and
  // writing, and append mode moves to the end before every write. A C stream
  // rather than an iostream: static iostreams would add about a megabyte to
  // the executable, and could throw where the entry should just be lost.
  std::FILE* log = std::fopen(kLogFileName, "ab");
  if (log == nullptr) return;
  WriteEntry(log, text);
  std::fflush(log);
  std::fclose(log);
}

void LogSystemError(const char* label, DWORD code) {
  // Defined before the lookup: a failed lookup may leave anything in it.
  char message[kMessageBufferSize] = {};
  // IGNORE_INSERTS: without arguments, a text holding %1 would otherwise be
  // filled from a null argument list.
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, message, kMessageBufferSize, nullptr);
  if (length == 0 || length >= kMessageBufferSize) {
    std::memcpy(message, kNoMessageText, sizeof kNoMessageText);
    AppendDecimal(message, sizeof kNoMessageText - 1, code);
  } else {
    message[length] = '\0';
  }
  LogLine(label);
  LogLine(message);
}
