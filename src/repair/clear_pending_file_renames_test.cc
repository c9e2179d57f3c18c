#include "repair/clear_pending_file_renames.h"

#include <string>
#include <vector>

#include "testing/dllmend_test.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

class ClearPendingFileRenamesTest : public DllmendTest {
 protected:
  ClearPendingFileRenamesTest() {
    g_loggingEnabled = true;
    windows.session_manager_values["BootExecute"] = {REG_MULTI_SZ, "autocheck\0\0"};
  }

  void Queue(DWORD type, const std::string& bytes) {
    windows.session_manager_values["PendingFileRenameOperations"] = {type, bytes};
  }
};

struct QueuedValue {
  const char* what;
  DWORD type;
  std::string bytes;
};

class DeleteQueuedValueTest : public ClearPendingFileRenamesTest,
                              public ::testing::WithParamInterface<QueuedValue> {};

TEST_P(DeleteQueuedValueTest, DeletesTheValueWhateverItHoldsAndReportsNothing) {
  Queue(GetParam().type, GetParam().bytes);

  ClearPendingFileRenames();

  EXPECT_EQ(nullptr, windows.FindValue("PendingFileRenameOperations"));
  EXPECT_NE(nullptr, windows.FindValue("BootExecute")) << "other values stay";
  EXPECT_FALSE(LogExists());
  ASSERT_EQ(3u, windows.journal.size());
  const std::string key = windows.journal[0].args[4];
  EXPECT_EQ((std::vector<std::string>{"HKEY_LOCAL_MACHINE", kSessionManager, "0",
                                      std::to_string(0xF003Fu), key}),
            windows.journal[0].args);
  EXPECT_EQ("RegDeleteValueA", windows.journal[1].operation);
  EXPECT_EQ((std::vector<std::string>{key, "PendingFileRenameOperations"}),
            windows.journal[1].args);
  EXPECT_EQ("RegCloseKey", windows.journal[2].operation);
  EXPECT_EQ(std::vector<std::string>{key}, windows.journal[2].args);
  EXPECT_TRUE(windows.open_keys.empty()) << "the key was closed";
}

const char kQueuedDeletion[] = "\\??\\C:\\old.dll\0\0\\??\\C:\\a.tmp\0!\\??\\C:\\b.tmp\0\0";

INSTANTIATE_TEST_SUITE_P(
    ValueTypes, DeleteQueuedValueTest,
    ::testing::Values(QueuedValue{"multi-string", REG_MULTI_SZ,
                                  std::string(kQueuedDeletion, sizeof kQueuedDeletion - 1)},
                      QueuedValue{"empty multi-string", REG_MULTI_SZ, ""},
                      QueuedValue{"string", REG_SZ, std::string("text\0", 5)},
                      QueuedValue{"binary", REG_BINARY, std::string("\x01\x02\xff", 3)},
                      QueuedValue{"dword", REG_DWORD, std::string("\x01\0\0\0", 4)},
                      QueuedValue{"no type", REG_NONE, ""}),
    CaseName());

TEST_F(ClearPendingFileRenamesTest, ReportsAMissingValueAndStillClosesTheKey) {
  ClearPendingFileRenames();

  EXPECT_EQ("RegDeleteKey\r\nNo such file here.\r\r\n\r\n", Log());
  std::vector<std::string> expected = {"RegOpenKeyExA", "RegDeleteValueA", "FormatMessageA",
                                       "RegCloseKey"};
  EXPECT_EQ(expected, windows.Operations());
  EXPECT_TRUE(windows.open_keys.empty());
}

TEST_F(ClearPendingFileRenamesTest, ASecondRunFindsNothingToDelete) {
  Queue(REG_MULTI_SZ, "");
  ClearPendingFileRenames();
  EXPECT_FALSE(LogExists());
  ClearPendingFileRenames();
  EXPECT_EQ("RegDeleteKey\r\nNo such file here.\r\r\n\r\n", Log());
}

TEST_F(ClearPendingFileRenamesTest, ReportsAFailedDeletionWithItsOwnCodeAndClosesTheKey) {
  Queue(REG_MULTI_SZ, "");
  windows.failures["RegDeleteValueA"] = ERROR_ACCESS_DENIED;
  windows.last_error = ERROR_INVALID_HANDLE;  // not the code to report

  ClearPendingFileRenames();

  EXPECT_EQ("RegDeleteKey\r\nAccess is not allowed.\r\r\n\r\n", Log());
  EXPECT_EQ("RegCloseKey", windows.Operations().back());
  EXPECT_TRUE(windows.open_keys.empty());
}

struct OpenFailure {
  const char* what;
  void (*arrange)(FakeWindows&);
  const char* report;
};

class OpenFailureTest : public ClearPendingFileRenamesTest,
                        public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, ReportsTheFailedOpenAndTouchesNothingElse) {
  Queue(REG_MULTI_SZ, "");
  GetParam().arrange(windows);

  ClearPendingFileRenames();

  EXPECT_EQ(GetParam().report, Log());
  EXPECT_EQ((std::vector<std::string>{"RegOpenKeyExA", "FormatMessageA"}), windows.Operations())
      << "no deletion and no close after a failed open";
  EXPECT_NE(nullptr, windows.FindValue("PendingFileRenameOperations"));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OpenFailureTest,
    ::testing::Values(OpenFailure{"no rights for full access",
                                  [](FakeWindows& w) {
                                    w.session_manager_rights = 0x20019; /* read */
                                  },
                                  "RegOpenKey\r\nAccess is not allowed.\r\r\n\r\n"},
                      OpenFailure{"forced code",
                                  [](FakeWindows& w) { w.failures["RegOpenKeyExA"] = 6; },
                                  "RegOpenKey\r\nFirst line.\r\r\nSecond line.\r\r\n\r\n"},
                      OpenFailure{"code without a text",
                                  [](FakeWindows& w) { w.failures["RegOpenKeyExA"] = 1450; },
                                  "RegOpenKey\r\nno message text for error 1450\r\n"}),
    CaseName());

TEST_F(ClearPendingFileRenamesTest, IgnoresAFailedClose) {
  Queue(REG_MULTI_SZ, "");
  windows.failures["RegCloseKey"] = ERROR_INVALID_HANDLE;
  ClearPendingFileRenames();
  EXPECT_FALSE(LogExists());
  EXPECT_EQ(nullptr, windows.FindValue("PendingFileRenameOperations"));
}

TEST_F(ClearPendingFileRenamesTest, ChangesTheRegistryTheSameWayWithLoggingOff) {
  g_loggingEnabled = false;
  Queue(REG_MULTI_SZ, "");
  ClearPendingFileRenames();
  ClearPendingFileRenames();
  EXPECT_EQ(nullptr, windows.FindValue("PendingFileRenameOperations"));
  EXPECT_FALSE(LogExists());
  EXPECT_TRUE(windows.open_keys.empty());
}

}  // namespace
