#include "install/install_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace setup {
namespace {

struct Failure {
    InstallStep step;
    const char* subject;
    std::uint32_t error;
};

constexpr std::size_t kShortDirectory = 20;

InstallReport reportOf(std::initializer_list<Failure> failures) {
    InstallReport report;
    for (const Failure& f : failures) report.add(f.step, f.subject, f.error);
    return report;
}

std::vector<std::string> linesOf(const InstallMessage& m) {
    std::vector<std::string> lines;
    for (int i = 0; i < m.lineCount(); ++i) {
        lines.push_back(std::to_string(m.line(i).stringId) + " " + m.line(i).names.c_str());
    }
    return lines;
}

std::vector<int> adviceOf(const InstallMessage& m) {
    std::vector<int> advice;
    for (int i = 0; i < m.adviceCount(); ++i) advice.push_back(m.advice(i));
    return advice;
}

TEST(InstallMessage, SuccessSaysNothing) {
    EXPECT_TRUE(
        composeInstallMessage(InstallReport{}, InstallFamily::Nt, true, kShortDirectory).empty());
}

TEST(InstallMessage, MissingFilesAreListedOnceWithTheFolderToFix) {
    const InstallReport report = reportOf({{InstallStep::CopyDriverFile, "QM47.DLL", 2},
                                           {InstallStep::CopyDriverFile, "QM4712II.GPD", 3},
                                           {InstallStep::CopyDriverFile, "UNIRES.DLL", 2}});
    const InstallMessage nt =
        composeInstallMessage(report, InstallFamily::Nt, false, kShortDirectory);
    EXPECT_EQ(linesOf(nt), (std::vector<std::string>{std::to_string(IDS_FAIL_FILES_MISSING_WIN2K) +
                                                     " QM47.DLL, QM4712II.GPD, UNIRES.DLL"}));
    EXPECT_EQ(adviceOf(nt), (std::vector<int>{IDS_ADVICE_FOLDER_WIN2K}));

    const InstallMessage win9x =
        composeInstallMessage(report, InstallFamily::Win9x, false, kShortDirectory);
    EXPECT_EQ(win9x.line(0).stringId, IDS_FAIL_FILES_MISSING_WIN9X);
    EXPECT_EQ(adviceOf(win9x), (std::vector<int>{IDS_ADVICE_FOLDER_WIN9X}));
}

TEST(InstallMessage, PrinterOnSixtyFourBitWindowsGetsItsOwnExplanation) {
    const InstallReport report = reportOf({{InstallStep::CreatePrinter, "QM-4712II", 87}});
    const InstallMessage on64 =
        composeInstallMessage(report, InstallFamily::Nt, true, kShortDirectory);
    EXPECT_EQ(linesOf(on64),
              (std::vector<std::string>{std::to_string(IDS_FAIL_PRINTER_64BIT) + " QM-4712II"}));
    EXPECT_EQ(adviceOf(on64), (std::vector<int>{IDS_ADVICE_32BIT}));

    const InstallMessage on32 =
        composeInstallMessage(report, InstallFamily::Nt, false, kShortDirectory);
    EXPECT_EQ(on32.line(0).stringId, IDS_FAIL_PRINTER);
    EXPECT_EQ(adviceOf(on32), (std::vector<int>{IDS_ADVICE_ADMIN}));
}

TEST(InstallMessage, MixedFailuresKeepTheirOrderAndAdviceIsDeduplicatedInAFixedOrder) {
    const InstallReport report =
        reportOf({{InstallStep::CopyDriverFile, "uniDRV.DLL", 5},
                  {InstallStep::CopyDriverFile, "STDNAMES.GPD", 2},
                  {InstallStep::RegisterDriver, "QM-4706", 5},
                  {InstallStep::OpenRegistryKey,
                   "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 5}});
    const InstallMessage m =
        composeInstallMessage(report, InstallFamily::Nt, false, kShortDirectory);
    EXPECT_EQ(linesOf(m), (std::vector<std::string>{
                              std::to_string(IDS_FAIL_FILES_NOT_COPIED) + " uniDRV.DLL",
                              std::to_string(IDS_FAIL_FILES_MISSING_WIN2K) + " STDNAMES.GPD",
                              std::to_string(IDS_FAIL_DRIVER) + " QM-4706",
                              std::to_string(IDS_FAIL_REGISTRY) +
                                  " Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"}));
    EXPECT_EQ(adviceOf(m), (std::vector<int>{IDS_ADVICE_FOLDER_WIN2K, IDS_ADVICE_ADMIN}));
}

TEST(InstallMessage, FilesTooDeepForTheFileFunctionsAskForAShorterFolder) {
    // 242 + "\win2k\" + "QM47.DLL" + NUL is 258 and fits in 260; a 12-letter name does not.
    const InstallReport report = reportOf({{InstallStep::CopyDriverFile, "QM47.DLL", 3},
                                           {InstallStep::CopyDriverFile, "STDNAMES.GPD", 3},
                                           {InstallStep::CopyDriverFile, "uniDRVui.DLL", 206}});
    const InstallMessage m = composeInstallMessage(report, InstallFamily::Nt, false, 242);
    EXPECT_EQ(linesOf(m),
              (std::vector<std::string>{
                  std::to_string(IDS_FAIL_FILES_MISSING_WIN2K) + " QM47.DLL",
                  std::to_string(IDS_FAIL_PATH_TOO_LONG) + " STDNAMES.GPD, uniDRVui.DLL"}));
    EXPECT_EQ(adviceOf(m), (std::vector<int>{IDS_ADVICE_SHORTER_PATH, IDS_ADVICE_FOLDER_WIN2K}));

    const InstallMessage deep = composeInstallMessage(report, InstallFamily::Win9x, false, 400);
    EXPECT_EQ(linesOf(deep), (std::vector<std::string>{std::to_string(IDS_FAIL_PATH_TOO_LONG) +
                                                       " QM47.DLL, STDNAMES.GPD, uniDRVui.DLL"}));
}

TEST(InstallMessage, FilesInUseAskToCloseOtherPrograms) {
    const InstallReport report = reportOf({{InstallStep::CopyDriverFile, "uniDRV.DLL", 32},
                                           {InstallStep::CopyDriverFile, "QM47.DRV", 33}});
    const InstallMessage m = composeInstallMessage(report, InstallFamily::Win9x, false, 20);
    EXPECT_EQ(linesOf(m), (std::vector<std::string>{std::to_string(IDS_FAIL_FILES_IN_USE) +
                                                    " uniDRV.DLL, QM47.DRV"}));
    EXPECT_EQ(adviceOf(m), (std::vector<int>{IDS_ADVICE_CLOSE_PROGRAMS}));
}

TEST(InstallMessage, EveryPieceOfAdviceOfOneRunIsKept) {
    // A deep folder, a missing file, a file in use, a refused copy and the
    // 64-bit printer: five pieces of advice, none dropped.
    const InstallReport report = reportOf({{InstallStep::CopyDriverFile, "QM47.DLL", 2},
                                           {InstallStep::CopyDriverFile, "STDNAMES.GPD", 3},
                                           {InstallStep::CopyDriverFile, "uniDRV.DLL", 32},
                                           {InstallStep::CopyDriverFile, "UNIRES.DLL", 5},
                                           {InstallStep::CreatePrinter, "QM-4712II", 87}});
    const InstallMessage m = composeInstallMessage(report, InstallFamily::Nt, true, 242);
    EXPECT_EQ(adviceOf(m),
              (std::vector<int>{IDS_ADVICE_SHORTER_PATH, IDS_ADVICE_FOLDER_WIN2K,
                                IDS_ADVICE_CLOSE_PROGRAMS, IDS_ADVICE_32BIT, IDS_ADVICE_ADMIN}));
    EXPECT_EQ(m.lineCount(), 5);
}

TEST(InstallMessage, DriverDirectoryAndNoSelection) {
    const InstallMessage dir =
        composeInstallMessage(reportOf({{InstallStep::DriverDirectory, "Windows NT x86", 1722}}),
                              InstallFamily::Nt, false, kShortDirectory);
    EXPECT_EQ(dir.line(0).stringId, IDS_FAIL_DRIVER_DIRECTORY);
    EXPECT_STREQ(dir.line(0).names.c_str(), "") << "the environment means nothing to the user";
    EXPECT_EQ(adviceOf(dir), (std::vector<int>{IDS_ADVICE_SPOOLER, IDS_ADVICE_ADMIN}));

    const InstallMessage none =
        composeInstallMessage(reportOf({{InstallStep::InvalidSelection, "", 0}}),
                              InstallFamily::Win9x, false, kShortDirectory);
    EXPECT_EQ(linesOf(none),
              (std::vector<std::string>{std::to_string(IDS_FAIL_NO_SELECTION) + " "}));
    EXPECT_EQ(none.adviceCount(), 0);
}

TEST(InstallMessage, ALongListIsCutAtAWholeName) {
    InstallReport report;
    for (int i = 0; i < InstallReport::kCapacity; ++i) {
        report.add(InstallStep::CopyDriverFile, std::string(60, static_cast<char>('A' + i)).c_str(),
                   2);
    }
    const InstallMessage m =
        composeInstallMessage(report, InstallFamily::Nt, false, kShortDirectory);
    const std::string names = m.line(0).names.c_str();
    EXPECT_LT(names.size(), 256u);
    EXPECT_EQ(names.size() % 62, 60u) << "whole names with their separators: " << names;
}

}  // namespace
}  // namespace setup
