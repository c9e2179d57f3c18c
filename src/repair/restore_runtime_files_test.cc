#include "repair/restore_runtime_files.h"

#include <filesystem>
#include <string>
#include <vector>

#include "testing/dllmend_test.h"

namespace {

const char kDestinationEntries[] =
    "destination file1:\r\nC:\\WINDOWS\\system32\\msvcp70.dll\r\n"
    "destination file2:\r\nC:\\WINDOWS\\system32\\msvcr70.dll\r\n";

class RestoreRuntimeFilesTest : public DllmendTest {
 protected:
  RestoreRuntimeFilesTest() { g_loggingEnabled = true; }

  std::vector<std::vector<std::string>> ArgsOf(const std::string& operation) const {
    std::vector<std::vector<std::string>> args;
    for (const FakeCall& call : windows.journal) {
      if (call.operation == operation) args.push_back(call.args);
    }
    return args;
  }
};

enum class Present { kNo, kFile, kReadOnlyFile, kFolder };

void Place(FakeWindows& windows, const char* destination, Present present) {
  if (present == Present::kFile) windows.AddFile(destination, "theirs");
  if (present == Present::kReadOnlyFile) windows.AddFile(destination, "theirs", true);
  if (present == Present::kFolder) windows.AddFolder(destination);
}

// What a destination must hold after the run.
void ExpectAfterRun(const FakeWindows& windows, const char* destination, Present present,
                    const char* copied_bytes) {
  const FakeFile* file = windows.Find(destination);
  ASSERT_NE(nullptr, file) << destination;
  EXPECT_EQ(present == Present::kFolder, file->is_folder) << destination;
  EXPECT_EQ(present == Present::kNo       ? copied_bytes
            : present == Present::kFolder ? ""
                                          : "theirs",
            file->bytes)
      << destination;
}

struct PresenceCase {
  const char* what;
  Present file1;
  Present file2;
  const char* copy_entries;
};

class RestorePresenceTest : public RestoreRuntimeFilesTest,
                            public ::testing::WithParamInterface<PresenceCase> {};

TEST_P(RestorePresenceTest, CopiesExactlyTheMissingFilesAndNeverReplaces) {
  const PresenceCase& c = GetParam();
  Place(windows, kDestination1, c.file1);
  Place(windows, kDestination2, c.file2);

  RestoreRuntimeFiles();

  EXPECT_EQ(std::string(kDestinationEntries) + c.copy_entries, Log());
  ExpectAfterRun(windows, kDestination1, c.file1, kSource1Bytes);
  ExpectAfterRun(windows, kDestination2, c.file2, kSource2Bytes);
  std::vector<std::vector<std::string>> copies;
  if (c.file1 == Present::kNo) copies.push_back({"msvcp70.dll", kDestination1, "1"});
  if (c.file2 == Present::kNo) copies.push_back({"msvcr70.dll", kDestination2, "1"});
  EXPECT_EQ(copies, ArgsOf("CopyFileA"));
}

INSTANTIATE_TEST_SUITE_P(
    Presence, RestorePresenceTest,
    ::testing::Values(
        PresenceCase{"both missing", Present::kNo, Present::kNo,
                     "about to copy file 1\r\nabout to copy file 2\r\n"},
        PresenceCase{"only file 2 missing", Present::kFile, Present::kNo,
                     "about to copy file 2\r\n"},
        PresenceCase{"only file 1 missing", Present::kNo, Present::kReadOnlyFile,
                     "about to copy file 1\r\n"},
        PresenceCase{"both present", Present::kFile, Present::kFile, ""},
        PresenceCase{"read-only files", Present::kReadOnlyFile, Present::kReadOnlyFile, ""},
        PresenceCase{"folders with the files' names", Present::kFolder, Present::kFolder, ""}),
    CaseName());

TEST_F(RestoreRuntimeFilesTest, TestsThenCopiesEachFileInTurn) {
  RestoreRuntimeFiles();
  std::vector<std::string> expected = {"GetWindowsDirectoryA", "_access", "CopyFileA", "_access",
                                       "CopyFileA"};
  EXPECT_EQ(expected, windows.Operations());
  EXPECT_EQ((std::vector<std::string>{kDestination1, "0"}), windows.journal[1].args);
  EXPECT_EQ((std::vector<std::string>{kDestination2, "0"}), windows.journal[3].args);
}

TEST_F(RestoreRuntimeFilesTest, AttemptsBothCopiesWhenTheSourcesAreMissing) {
  windows.files.erase(NormalizeFakePath("msvcp70.dll", windows.current_folder));
  windows.files.erase(NormalizeFakePath("msvcr70.dll", windows.current_folder));

  RestoreRuntimeFiles();

  EXPECT_EQ(std::string(kDestinationEntries) + "about to copy file 1\r\nabout to copy file 2\r\n",
            Log());
  EXPECT_EQ(2u, ArgsOf("CopyFileA").size());
  EXPECT_EQ(nullptr, windows.Find(kDestination1));
  EXPECT_EQ(nullptr, windows.Find(kDestination2));
}

TEST_F(RestoreRuntimeFilesTest, ASecondRunCopiesNothing) {
  RestoreRuntimeFiles();
  std::filesystem::remove("dllmend.log");
  windows.journal.clear();

  RestoreRuntimeFiles();

  EXPECT_EQ(kDestinationEntries, Log());
  EXPECT_TRUE(ArgsOf("CopyFileA").empty());
}

TEST_F(RestoreRuntimeFilesTest, KeepsAFileThatAppearsBetweenTestAndCopy) {
  windows.after_call = [this](const FakeCall& call) {
    if (call.operation == "_access" && call.args[0] == kDestination1) {
      windows.AddFile(kDestination1, "another installer's");
    }
  };

  RestoreRuntimeFiles();

  EXPECT_EQ("another installer's", windows.Find(kDestination1)->bytes);
  EXPECT_EQ(kSource2Bytes, windows.Find(kDestination2)->bytes);
}

TEST_F(RestoreRuntimeFilesTest, TreatsAFailedExistenceTestAsAbsentAndStillNeverReplaces) {
  windows.AddFile(kDestination1, "theirs");
  windows.failures["_access"] = ERROR_ACCESS_DENIED;

  RestoreRuntimeFiles();

  EXPECT_EQ(std::string(kDestinationEntries) + "about to copy file 1\r\nabout to copy file 2\r\n",
            Log());
  EXPECT_EQ("theirs", windows.Find(kDestination1)->bytes);
  EXPECT_EQ(kSource2Bytes, windows.Find(kDestination2)->bytes);
}

TEST_F(RestoreRuntimeFilesTest, KeepsTheDoubledBackslashOfADriveRoot) {
  windows.windows_directory = "D:\\";
  windows.AddFolder("D:\\system32");

  RestoreRuntimeFiles();

  const char* doubled1 = "D:\\\\system32\\msvcp70.dll";
  const char* doubled2 = "D:\\\\system32\\msvcr70.dll";
  EXPECT_EQ(std::string("destination file1:\r\n") + doubled1 + "\r\ndestination file2:\r\n" +
                doubled2 + "\r\nabout to copy file 1\r\nabout to copy file 2\r\n",
            Log());
  EXPECT_EQ((std::vector<std::vector<std::string>>{{doubled1, "0"}, {doubled2, "0"}}),
            ArgsOf("_access"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"msvcp70.dll", doubled1, "1"},
                                                   {"msvcr70.dll", doubled2, "1"}}),
            ArgsOf("CopyFileA"));
  EXPECT_EQ(kSource1Bytes, windows.Find("D:\\system32\\msvcp70.dll")->bytes);
}

TEST_F(RestoreRuntimeFilesTest, DoesTheSameWorkWithLoggingOff) {
  g_loggingEnabled = false;
  RestoreRuntimeFiles();
  EXPECT_FALSE(LogExists());
  EXPECT_EQ(kSource1Bytes, windows.Find(kDestination1)->bytes);
  EXPECT_EQ(kSource2Bytes, windows.Find(kDestination2)->bytes);
}

struct DirectoryFailure {
  const char* what;
  DWORD forced_code;             // 0: not forced, the directory is too long instead
  std::size_t directory_length;  // used when not forced
  DWORD last_error;              // what GetLastError gives
};

class WindowsDirectoryFailureTest : public RestoreRuntimeFilesTest,
                                    public ::testing::WithParamInterface<DirectoryFailure> {};

TEST_P(WindowsDirectoryFailureTest, ReportsTheCodeFromRightAfterTheCallAndUsesCWindows) {
  const DirectoryFailure& c = GetParam();
  if (c.forced_code != 0) {
    windows.failures["GetWindowsDirectoryA"] = c.forced_code;
  } else {
    windows.windows_directory = "C:\\" + std::string(c.directory_length - 3, 'w');
    windows.last_error = c.last_error;
  }
  windows.AddFolder("c:\\windows");
  windows.AddFolder("c:\\windows\\system32");

  RestoreRuntimeFiles();

  std::vector<std::string> expected = {"GetWindowsDirectoryA",
                                       "GetLastError",
                                       "FormatMessageA",
                                       "_access",
                                       "CopyFileA",
                                       "_access",
                                       "CopyFileA"};
  EXPECT_EQ(expected, windows.Operations());
  EXPECT_EQ(std::to_string(c.last_error), windows.journal[2].args[2])
      << "the code looked up is the one GetLastError gave";
  EXPECT_EQ("Windows directory not found\r\n" + Entry(windows.messages[c.last_error]) +
                "destination file1:\r\nc:\\windows\\system32\\msvcp70.dll\r\n"
                "destination file2:\r\nc:\\windows\\system32\\msvcr70.dll\r\n"
                "about to copy file 1\r\nabout to copy file 2\r\n",
            Log());
  EXPECT_EQ(kSource1Bytes, windows.Find("c:\\windows\\system32\\msvcp70.dll")->bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WindowsDirectoryFailureTest,
    ::testing::Values(DirectoryFailure{"call fails", ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED},
                      // A directory of 2048 characters needs 2049 bytes: the count says so,
                      // and GetLastError gives whatever it holds.
                      DirectoryFailure{"count above 2048", 0, 2048, ERROR_INVALID_HANDLE},
                      DirectoryFailure{"count far above 2048", 0, 5000, ERROR_FILE_NOT_FOUND}),
    CaseName());

TEST_F(RestoreRuntimeFilesTest, TakesACountOf2048AsSuccess) {
  windows.windows_directory = "C:\\" + std::string(2044, 'w');  // 2047 characters
  windows.windows_directory_count = 2048;

  RestoreRuntimeFiles();

  EXPECT_EQ(std::vector<std::string>{"GetWindowsDirectoryA"}, windows.Operations())
      << "no fallback to c:\\windows, and no destination that does not fit";
}

struct DirectoryLength {
  const char* what;
  std::size_t length;
  bool destinations_fit;
};

class LongWindowsDirectoryTest : public RestoreRuntimeFilesTest,
                                 public ::testing::WithParamInterface<DirectoryLength> {};

TEST_P(LongWindowsDirectoryTest, NeverUsesADestinationThatDoesNotFit) {
  const DirectoryLength& c = GetParam();
  std::string directory = "C:\\" + std::string(c.length - 3, 'w');
  windows.windows_directory = directory;
  windows.AddFolder(directory);
  windows.AddFolder(directory + "\\system32");

  RestoreRuntimeFiles();

  std::string destination1 = directory + "\\system32\\msvcp70.dll";
  std::string destination2 = directory + "\\system32\\msvcr70.dll";
  if (c.destinations_fit) {
    ASSERT_EQ(2047u, destination1.size());
    EXPECT_EQ("destination file1:\r\n" + destination1 + "\r\ndestination file2:\r\n" +
                  destination2 + "\r\nabout to copy file 1\r\nabout to copy file 2\r\n",
              Log());
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"msvcp70.dll", destination1, "1"},
                                                     {"msvcr70.dll", destination2, "1"}}),
              ArgsOf("CopyFileA"));
  } else {
    EXPECT_EQ(
        "destination file1:\r\ndestination too long\r\n"
        "destination file2:\r\ndestination too long\r\n",
        Log());
    EXPECT_EQ(std::vector<std::string>{"GetWindowsDirectoryA"}, windows.Operations())
        << "no existence test and no copy";
  }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, LongWindowsDirectoryTest,
                         ::testing::Values(DirectoryLength{"length 2026", 2026, true},
                                           DirectoryLength{"length 2027", 2027, false},
                                           DirectoryLength{"length 2047", 2047, false}),
                         CaseName());

}  // namespace
