#include "app/run.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "testing/dllmend_test.h"

namespace {

class RunTest : public DllmendTest {};

struct ArgumentCount {
  const char* what;
  int argc;
  bool logs;
};

class ArgumentCountTest : public RunTest, public ::testing::WithParamInterface<ArgumentCount> {};

TEST_P(ArgumentCountTest, AnyArgumentTurnsTheLogOn) {
  EXPECT_EQ(0, RunDllmend(GetParam().argc));
  EXPECT_EQ(GetParam().logs, LogExists());
  EXPECT_EQ(kSource1Bytes, windows.Find(kDestination1)->bytes) << "the repair runs either way";
}

INSTANTIATE_TEST_SUITE_P(Counts, ArgumentCountTest,
                         ::testing::Values(ArgumentCount{"no name", 0, false},
                                           ArgumentCount{"no argument", 1, false},
                                           ArgumentCount{"one argument", 2, true},
                                           ArgumentCount{"six arguments", 7, true}),
                         CaseName());

TEST_F(RunTest, RestoresFilesThenClearsTheQueueAndLogsBothInOrder) {
  windows.AddFile(kDestination1, "theirs");
  windows.last_error = ERROR_ACCESS_DENIED;

  EXPECT_EQ(0, RunDllmend(2));

  EXPECT_EQ(
      "destination file1:\r\nC:\\WINDOWS\\system32\\msvcp70.dll\r\n"
      "destination file2:\r\nC:\\WINDOWS\\system32\\msvcr70.dll\r\n"
      "about to copy file 2\r\n"
      "RegDeleteKey\r\nNo such file here.\r\r\n\r\n",
      Log());
  std::vector<std::string> expected = {
      "GetWindowsDirectoryA", "_access",         "_access",        "CopyFileA",
      "RegOpenKeyExA",        "RegDeleteValueA", "FormatMessageA", "RegCloseKey"};
  EXPECT_EQ(expected, windows.Operations());
}

TEST_F(RunTest, ClearsTheQueueWithoutLoggingWhenThereIsNoArgument) {
  windows.session_manager_values["PendingFileRenameOperations"] = {REG_MULTI_SZ, ""};
  WriteFileBytes("dllmend.log", "from before");

  EXPECT_EQ(0, RunDllmend(1));

  EXPECT_EQ(nullptr, windows.FindValue("PendingFileRenameOperations"));
  EXPECT_EQ("from before", Log());
}

// Every operation that can fail, made to fail.
const char* const kFallibleOperations[] = {
    "GetWindowsDirectoryA", "_access",         "CopyFileA",  "FormatMessageA",
    "RegOpenKeyExA",        "RegDeleteValueA", "RegCloseKey"};

class OneFailingOperationTest : public RunTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(OneFailingOperationTest, TheRunGoesOnToTheEnd) {
  windows.AddFolder("c:\\windows\\system32");
  windows.session_manager_values["PendingFileRenameOperations"] = {REG_MULTI_SZ, ""};
  windows.failures[GetParam()] = ERROR_ACCESS_DENIED;

  EXPECT_EQ(0, RunDllmend(2));

  std::vector<std::string> operations = windows.Operations();
  EXPECT_EQ(2, std::count(operations.begin(), operations.end(), "_access"));
  EXPECT_EQ(1, std::count(operations.begin(), operations.end(), "RegOpenKeyExA"));
  EXPECT_TRUE(windows.open_keys.empty() || std::string(GetParam()) == "RegCloseKey");
}

INSTANTIATE_TEST_SUITE_P(Operations, OneFailingOperationTest,
                         ::testing::ValuesIn(kFallibleOperations),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST_F(RunTest, EveryOperationFailingEndsTheRunWithNothingElseDone) {
  windows.session_manager_values["PendingFileRenameOperations"] = {REG_MULTI_SZ, "x"};
  for (const char* operation : kFallibleOperations) windows.failures[operation] = 5;
  std::map<std::string, FakeFile> files_before = windows.files;

  EXPECT_EQ(0, RunDllmend(2));

  std::vector<std::string> expected = {"GetWindowsDirectoryA",
                                       "GetLastError",
                                       "FormatMessageA",
                                       "_access",
                                       "CopyFileA",
                                       "_access",
                                       "CopyFileA",
                                       "RegOpenKeyExA",
                                       "FormatMessageA"};
  EXPECT_EQ(expected, windows.Operations());
  EXPECT_EQ(files_before.size(), windows.files.size());
  EXPECT_NE(nullptr, windows.FindValue("PendingFileRenameOperations"));
  EXPECT_EQ(
      "Windows directory not found\r\nno message text for error 5\r\n"
      "destination file1:\r\nc:\\windows\\system32\\msvcp70.dll\r\n"
      "destination file2:\r\nc:\\windows\\system32\\msvcr70.dll\r\n"
      "about to copy file 1\r\nabout to copy file 2\r\n"
      "RegOpenKey\r\nno message text for error 5\r\n",
      Log());
}

}  // namespace
