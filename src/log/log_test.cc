#include "log/log.h"

#include <filesystem>

#include "testing/dllmend_test.h"

namespace {

class LogTest : public DllmendTest {
 protected:
  LogTest() { g_loggingEnabled = true; }
};

struct StoredEntry {
  const char* what;
  std::string text;
  std::string stored;
};

TEST_F(LogTest, StoresEachTextWithCrLfLineEnds) {
  const StoredEntry cases[] = {
      {"plain text", "destination file1:", "destination file1:\r\n"},
      {"empty text", "", "\r\n"},
      {"LF inside", "a\nb", "a\r\nb\r\n"},
      {"lone CR stays one CR", "a\rb", "a\rb\r\n"},
      {"text ending in CR LF", "text\r\n", "text\r\r\n\r\n"},
      {"LFs only", "\n\n", "\r\n\r\n\r\n"},
      {"bytes above 0x7F", "C:\\F\xeanetre\\\x80\xff", "C:\\F\xeanetre\\\x80\xff\r\n"},
      {"control bytes", "\x1a\t\x01", "\x1a\t\x01\r\n"},
  };
  for (const StoredEntry& c : cases) {
    std::filesystem::remove("dllmend.log");
    LogLine(c.text.c_str());
    EXPECT_EQ(c.stored, Log()) << c.what;
  }
}

TEST_F(LogTest, AppendsEntriesInOrderAfterWhatIsThere) {
  WriteFileBytes("dllmend.log", "earlier run\r\n");
  LogLine("one");
  LogLine("two");
  EXPECT_EQ("earlier run\r\none\r\ntwo\r\n", Log());
}

TEST_F(LogTest, ContinuesALastLineThatHasNoLineEnd) {
  WriteFileBytes("dllmend.log", "cut short");
  LogLine("next");
  EXPECT_EQ("cut shortnext\r\n", Log());
}

TEST_F(LogTest, WritesALongTextWhole) {
  std::string path = "C:\\" + std::string(2043, 'd') + ".dll";  // 2047 characters
  LogLine(path.c_str());
  EXPECT_EQ(path + "\r\n", Log());
}

TEST_F(LogTest, WritesNothingAndTouchesNoFileWhileOff) {
  g_loggingEnabled = false;
  LogLine("entry");
  EXPECT_FALSE(LogExists());

  WriteFileBytes("dllmend.log", "kept");
  auto written = std::filesystem::last_write_time("dllmend.log");
  LogLine("entry");
  LogSystemError("label", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ("kept", Log());
  EXPECT_EQ(written, std::filesystem::last_write_time("dllmend.log"));
}

TEST_F(LogTest, LosesEntriesSilentlyWhenTheLogIsAFolder) {
  std::filesystem::create_directory("dllmend.log");
  LogLine("entry");
  LogSystemError("label", ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(std::filesystem::is_directory("dllmend.log"));
  EXPECT_TRUE(std::filesystem::is_empty("dllmend.log"));
}

struct Report {
  const char* what;
  DWORD code;
  std::string stored;
};

TEST_F(LogTest, ReportsTheLabelThenTheSystemText) {
  const Report cases[] = {
      {"one-line text", ERROR_FILE_NOT_FOUND, "RegDeleteKey\r\nNo such file here.\r\r\n\r\n"},
      {"two-line text", ERROR_INVALID_HANDLE,
       "RegDeleteKey\r\nFirst line.\r\r\nSecond line.\r\r\n\r\n"},
      {"insert kept as it stands", 32, "RegDeleteKey\r\nThe file %1 is in use.\r\r\n\r\n"},
      {"255 characters fit", 1000, "RegDeleteKey\r\n" + std::string(255, 'x') + "\r\n"},
      {"256 characters do not", 1001, "RegDeleteKey\r\nno message text for error 1001\r\n"},
      {"unknown code", 0xDEADu, "RegDeleteKey\r\nno message text for error 57005\r\n"},
      {"largest code", 0xFFFFFFFFu, "RegDeleteKey\r\nno message text for error 4294967295\r\n"},
      {"code 0 unknown", 0, "RegDeleteKey\r\nno message text for error 0\r\n"},
  };
  for (const Report& c : cases) {
    std::filesystem::remove("dllmend.log");
    LogSystemError("RegDeleteKey", c.code);
    EXPECT_EQ(c.stored, Log()) << c.what;
  }
}

TEST_F(LogTest, AsksForTheSystemTextWithInsertsIgnored) {
  LogSystemError("RegOpenKey", 32);
  ASSERT_EQ(1u, windows.journal.size());
  const FakeCall& lookup = windows.journal[0];
  EXPECT_EQ("FormatMessageA", lookup.operation);
  std::vector<std::string> expected = {
      std::to_string(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS),
      "null",
      "32",
      "0",
      "buffer",
      "256",
      "null"};
  EXPECT_EQ(expected, lookup.args);
}

TEST_F(LogTest, ReportsItsOwnTextWhenTheLookupFails) {
  windows.failures["FormatMessageA"] = ERROR_INVALID_PARAMETER;
  LogSystemError("RegOpenKey", ERROR_ACCESS_DENIED);
  EXPECT_EQ("RegOpenKey\r\nno message text for error 5\r\n", Log());
}

TEST_F(LogTest, TwoReportsGiveFourEntriesInOrder) {
  LogSystemError("RegOpenKey", ERROR_ACCESS_DENIED);
  LogSystemError("RegDeleteKey", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(
      "RegOpenKey\r\nAccess is not allowed.\r\r\n\r\n"
      "RegDeleteKey\r\nNo such file here.\r\r\n\r\n",
      Log());
}

TEST_F(LogTest, LooksTheTextUpEvenWhileOff) {
  g_loggingEnabled = false;
  LogSystemError("RegOpenKey", ERROR_ACCESS_DENIED);
  EXPECT_EQ(std::vector<std::string>{"FormatMessageA"}, windows.Operations());
  EXPECT_FALSE(LogExists());
}

}  // namespace
