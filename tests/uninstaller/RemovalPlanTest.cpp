// The uninstaller's reading of its install record, as data: which recorded
// paths it would delete, keep or refuse. Catches a record that makes it
// delete outside the product's folders (absolute paths elsewhere, "..",
// other separators, streams), a cut-off last line taken as a path, user
// data or shared runtime libraries deleted, and its own file or record
// deleted before the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uninstaller/CommandLine.h"
#include "uninstaller/RecordLines.h"
#include "uninstaller/RemovalPlan.h"

namespace qrn {
namespace {

// Drive Q: does not exist in the test prefix: no path of these cases can be
// found on disk and brought into another form.
const RemovalRoots kRoots = {L"Q:\\Program Files\\Quorrin", L"Q:\\windows\\syswow64",
                             L"Q:\\windows\\system32\\drivers"};
const std::wstring kSelf = L"Q:\\Program Files\\Quorrin\\Uninstall.exe";

struct PlanCase {
  const char* name;
  std::string record;
  std::vector<std::wstring> installFiles;
  std::vector<std::wstring> systemFiles;
  std::vector<std::wstring> kept;
  size_t refused;
};

TEST(RemovalPlanTest, TakesOnlyPlainPathsInsideTheProductsFolders) {
  const std::string overlong = "Q:\\Program Files\\Quorrin\\" + std::string(600, 'a') + "\n";
  const PlanCase cases[] = {
      {"sound record",
       "Q:\\Program Files\\Quorrin\\QRN.exe\nQ:\\Program Files\\Quorrin\\help\\QRN_help.html\n"
       "Q:\\windows\\syswow64\\QrnHelper.dll\nQ:\\windows\\system32\\drivers\\Velmdisk-x64.sys\n",
       {L"Q:\\Program Files\\Quorrin\\QRN.exe", L"Q:\\Program Files\\Quorrin\\help\\QRN_help.html"},
       {L"Q:\\windows\\syswow64\\QrnHelper.dll", L"Q:\\windows\\system32\\drivers\\Velmdisk-x64.sys"},
       {},
       0},
      {"other letter case of the folders",
       "q:\\PROGRAM FILES\\quorrin\\QRN.exe\nQ:\\WINDOWS\\SysWOW64\\x.dll\n",
       {L"q:\\PROGRAM FILES\\quorrin\\QRN.exe"},
       {L"Q:\\WINDOWS\\SysWOW64\\x.dll"},
       {},
       0},
      {"user data and runtime libraries kept",
       "Q:\\Program Files\\Quorrin\\userlist.DB\nQ:\\windows\\syswow64\\MSVCR100.dll\n",
       {},
       {},
       {L"Q:\\Program Files\\Quorrin\\userlist.DB", L"Q:\\windows\\syswow64\\MSVCR100.dll"},
       0},
      {"own file and record left for the end",
       "Q:\\Program Files\\Quorrin\\Uninstall.exe\nQ:\\Program Files\\Quorrin\\InstallInfo.db\n",
       {},
       {},
       {},
       0},
      {"outside the folders",
       "Q:\\windows\\win.ini\nD:\\Quorrin\\QRN.exe\nQ:\\Program Files\\Quorrin2\\x\n",
       {},
       {},
       {},
       3},
      {"the folders themselves", "Q:\\Program Files\\Quorrin\nQ:\\windows\\syswow64\n", {}, {}, {}, 2},
      {"dot-dot and dot names",
       "Q:\\Program Files\\Quorrin\\..\\Other\\x\nQ:\\Program Files\\Quorrin\\.\\x\nQ:\\Program "
       "Files\\Quorrin\\...\\x\n",
       {},
       {},
       {},
       3},
      {"other separators, streams, wildcards",
       "Q:\\Program Files\\Quorrin/../Other/x\nQ:\\Program Files\\Quorrin\\x:stream\nQ:\\Program "
       "Files\\Quorrin\\*.exe\nQ:\\Program Files\\Quorrin\\x.\n",
       {},
       {},
       {},
       4},
      {"relative, UNC and device paths",
       "Quorrin\\QRN.exe\n\\Program Files\\Quorrin\\QRN.exe\n\\\\server\\share\\Quorrin\\x\n\\\\?\\Q:\\Program "
       "Files\\Quorrin\\x\nQ:Program Files\\Quorrin\\x\n",
       {},
       {},
       {},
       5},
      {"cut-off last line refused",
       "Q:\\Program Files\\Quorrin\\QRN.exe\nQ:\\Program Files\\Quorrin\\QR",
       {L"Q:\\Program Files\\Quorrin\\QRN.exe"},
       {},
       {},
       1},
      {"empty and overlong lines, NUL bytes",
       "\n" + overlong + std::string("Q:\\Program Files\\Quorrin\\a\0b\n", 29) +
           "Q:\\Program Files\\Quorrin\\QRN.exe\n",
       {L"Q:\\Program Files\\Quorrin\\QRN.exe"},
       {},
       {},
       3},
      {"empty record", "", {}, {}, {}, 0},
      {"no line feed at all", "Q:\\Program Files\\Quorrin\\QRN.exe", {}, {}, {}, 1},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RemovalPlan plan = BuildRemovalPlan(SplitRecordLines(c.record), kRoots, kSelf);
    EXPECT_EQ(c.installFiles, plan.installFiles);
    EXPECT_EQ(c.systemFiles, plan.systemFiles);
    EXPECT_EQ(c.kept, plan.kept);
    EXPECT_EQ(c.refused, plan.refused);
  }
}

// An uninstaller placed at a drive's root would count the whole drive as
// its install folder.
TEST(RemovalPlanTest, AnInstallFolderAtADriveRootTakesNothing) {
  const RemovalRoots roots = {L"Q:", L"Q:\\windows\\syswow64", L"Q:\\windows\\system32\\drivers"};
  const RemovalPlan plan =
      BuildRemovalPlan(SplitRecordLines("Q:\\Users\\me\\Documents\\thesis.doc\nQ:\\windows\\syswow64\\x.dll\n"), roots,
                       L"Q:\\Uninstall.exe");
  EXPECT_TRUE(plan.installFiles.empty());
  EXPECT_EQ(std::vector<std::wstring>{L"Q:\\windows\\syswow64\\x.dll"}, plan.systemFiles);
  EXPECT_EQ(1u, plan.refused);
}

// A big record is split in linear time: a quadratic scan would take minutes.
TEST(RemovalPlanTest, SplitsARecordOfTheLargestSizeWhole) {
  std::string record;
  const std::string line = "Q:\\Program Files\\Quorrin\\" + std::string(400, 'x') + "\n";
  while (record.size() + line.size() <= kMaxRecordBytes) record += line;
  const RecordLines lines = SplitRecordLines(record);
  EXPECT_EQ(record.size() / line.size(), lines.lines.size());
  EXPECT_FALSE(lines.unterminatedTail);
}

TEST(CommandLineTest, FindsTheSilentSwitchInAnyCaseAmongTheArguments) {
  const struct {
    const wchar_t* commandLine;
    bool silent;
  } cases[] = {
      {L"\"Q:\\Program Files\\Quorrin\\Uninstall.exe\" -S", true},
      {L"Q:\\Program Files\\Quorrin\\Uninstall.exe -S", true},  // as the installer runs it: not quoted
      {L"Uninstall.exe -s", true},
      {L"Uninstall.exe /x -S", true},
      {L"Uninstall.exe", false},
      {L"\"Q:\\-S\\Uninstall.exe\"", false},  // the program's own name is no argument
      {L"Uninstall.exe -Silent", false},
      {L"Uninstall.exe \"-S x\"", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.silent, HasSilentSwitch(c.commandLine))
        << std::string(c.commandLine, c.commandLine + wcslen(c.commandLine));
  }
}

}  // namespace
}  // namespace qrn
