// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/archiver_check.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

using ::testing::UnorderedElementsAre;

namespace {

std::vector<std::string> folderContent(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(ProgramPathsWin32, FoldersUseBackslashesAndTheArchiverShipsInBinWin) {
    const ProgramPaths paths = programPaths("C:\\Program Files\\Slimkit\\");
    EXPECT_EQ(paths.definitionFolder, "C:\\Program Files\\Slimkit\\app\\remove\\");
    EXPECT_EQ(paths.addFolder, "C:\\Program Files\\Slimkit\\app\\add\\");
    EXPECT_EQ(paths.undoTemplate, "C:\\Program Files\\Slimkit\\app\\undo\\undo.zip");
    EXPECT_EQ(paths.extractionFolder, "C:\\Program Files\\Slimkit\\app\\undo\\files\\");
    EXPECT_EQ(paths.archiverProgram, "C:\\Program Files\\Slimkit\\bin\\win\\7z.exe");
    EXPECT_EQ(pathSeparator, '\\');
}

TEST(ProgramPathsWin32, ProgramFolderIsTheExecutablesFolderWhateverTheWorkingDirectory) {
    TempFolder sandbox;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(sandbox.root().c_str());
    const std::string folder = findProgramFolder("elsewhere\\ignored.exe");
    SetCurrentDirectoryA(previous);

    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_GT(fileSize(folder + "platform_win32_tests.exe"), 0);
}

// This test program keeps the system's code page (it has no manifest), as Windows before 10 1903
// keeps it for the program: a copy of it in a folder named in Greek and Chinese must find no
// program folder rather than one with '?' or look-alike letters in it. The copy runs only this
// test, in the role the environment gives it, and writes what it found to a file.
TEST(ProgramPathsWin32, AFolderNameTheCodePageCantWriteIsNoProgramFolder) {
    if (const char* answer = std::getenv("SLIMKIT_PROGRAM_FOLDER_TO")) {
        std::ofstream(answer, std::ios::binary) << "[" << findProgramFolder(nullptr) << "]";
        return;
    }
    ASSERT_NE(GetACP(), static_cast<UINT>(CP_UTF8));
    TempFolder sandbox;
    const std::wstring folder =
        std::filesystem::path(sandbox.root()).wstring() + L"\u03A9mega \u8F6F\u4EF6";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring copy = folder + L"\\platform_win32_tests.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));

    const std::string answer = sandbox.root() + "answer.txt";
    SetEnvironmentVariableA("SLIMKIT_PROGRAM_FOLDER_TO", answer.c_str());
    std::wstring commandLine =
        L"\"" + copy +
        L"\" --gtest_filter=ProgramPathsWin32.AFolderNameTheCodePageCantWriteIsNoProgramFolder";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const BOOL ran = CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    SetEnvironmentVariableA("SLIMKIT_PROGRAM_FOLDER_TO", nullptr);
    ASSERT_TRUE(ran);
    const DWORD waited = WaitForSingleObject(started.hProcess, 60000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    std::ifstream read(answer, std::ios::binary);
    const std::string found((std::istreambuf_iterator<char>(read)), {});
    EXPECT_EQ(found, "[]");
}

TEST(TextWin32, LowerNameLowersTheCodePagesLettersToo) {
    EXPECT_EQ(lowerName("Browser APP 2"), "browser app 2");
    if (GetACP() == 1252) {
        EXPECT_EQ(lowerName("\xC4rger\xC9"), "\xE4rger\xE9");
    }
    EXPECT_EQ(lowerName(""), "");
}

TEST(TextWin32, DefinitionPathsAreKeptAsWritten) {
    EXPECT_EQ(normaliseDefinitionPath("system\\app\\X.apk"), "system\\app\\X.apk");
    EXPECT_EQ(normaliseDefinitionPath("/System/app/Y.apk"), "/System/app/Y.apk");
}

TEST(TextWin32, DefinitionFilesMatchIniIgnoringCase) {
    TempFolder sandbox;
    sandbox.write("a.ini", "");
    sandbox.write("B.INI", "");
    sandbox.write(".hidden.ini", "");
    sandbox.write("a.ini.bak", "");

    std::vector<std::string> names;
    ASSERT_TRUE(listDefinitionFiles(sandbox.root(), names));
    EXPECT_THAT(names, UnorderedElementsAre("a.ini", "B.INI", ".hidden.ini"));
}

TEST(TextWin32, AnEmptyFolderListsNothing) {
    TempFolder sandbox;
    std::vector<std::string> names;
    EXPECT_TRUE(listDefinitionFiles(sandbox.folder("empty") + "\\", names));
    EXPECT_TRUE(names.empty());
}

TEST(ArchiverCheckWin32, BothFilesMustExistAsFiles) {
    TempFolder sandbox;
    sandbox.folder("bin");
    sandbox.folder("bin\\win");
    const ProgramPaths paths = programPaths(sandbox.root());

    sandbox.write("bin\\win\\7z.exe", "MZ");
    EXPECT_FALSE(checkArchiverPresent(paths));
    sandbox.folder("bin\\win\\7z.dll");
    EXPECT_FALSE(checkArchiverPresent(paths)) << "7z.dll is a folder";
    RemoveDirectoryA((sandbox.root() + "bin\\win\\7z.dll").c_str());
    sandbox.write("bin\\win\\7z.dll", "");
    EXPECT_TRUE(checkArchiverPresent(paths)) << "an empty file counts";

    DeleteFileA(paths.archiverProgram.c_str());
    EXPECT_FALSE(checkArchiverPresent(paths));
    sandbox.folder("bin\\win\\7z.exe");
    EXPECT_FALSE(checkArchiverPresent(paths)) << "7z.exe is a folder";
}

TEST(FileLayerWin32, SizeTellsFilesFoldersAndMissingPathsApart) {
    TempFolder sandbox;
    EXPECT_EQ(fileSize(sandbox.write("five", "12345")), 5);
    EXPECT_EQ(fileSize(sandbox.write("empty", "")), 0);
    EXPECT_EQ(fileSize(sandbox.folder("folder")), fileSizeOfFolder);
    EXPECT_EQ(fileSize(sandbox.root() + "missing"), fileSizeMissing);
    EXPECT_TRUE(folderExists(sandbox.root() + "folder"));
    EXPECT_FALSE(folderExists(sandbox.root() + "five"));
    EXPECT_FALSE(folderExists(sandbox.root() + "empty"));
    EXPECT_FALSE(folderExists(sandbox.root() + "missing"));
    EXPECT_TRUE(pathExists(sandbox.root() + "five"));
    EXPECT_TRUE(pathExists(sandbox.root() + "folder"));
    EXPECT_FALSE(pathExists(sandbox.root() + "missing"));
}

TEST(FileLayerWin32, CopyReplacesTheDestinationAndLeavesNoTemporaryFile) {
    TempFolder sandbox;
    const std::string source = sandbox.write("rom.zip", std::string("PK\3\4\0\r\n\x1a", 8));
    const std::string target = sandbox.write("rom.zip_BU_0", "older and longer content");

    ASSERT_TRUE(copyFile(source, target));
    EXPECT_EQ(readFile(target), std::string("PK\3\4\0\r\n\x1a", 8));
    EXPECT_EQ(folderContent(sandbox.root()), (std::vector<std::string>{"rom.zip", "rom.zip_BU_0"}));
}

TEST(FileLayerWin32, AFailedCopyKeepsTheDestinationAndLeavesNoTemporaryFile) {
    TempFolder sandbox;
    const std::string target = sandbox.write("undo.zip", "earlier");
    EXPECT_FALSE(copyFile(sandbox.root() + "missing.zip", target));
    EXPECT_EQ(readFile(target), "earlier");

    const std::string source = sandbox.write("rom.zip", "rom");
    sandbox.folder("rom.zip_BU_0");
    EXPECT_FALSE(copyFile(source, sandbox.root() + "rom.zip_BU_0"));
    EXPECT_EQ(fileSize(sandbox.root() + "rom.zip_BU_0"), fileSizeOfFolder);
    EXPECT_EQ(folderContent(sandbox.root()),
              (std::vector<std::string>{"rom.zip", "rom.zip_BU_0", "undo.zip"}));
}

TEST(FileLayerWin32, ACopyIsAskedBetweenChunksAndAStopLeavesNoPartialFile) {
    TempFolder sandbox;
    const std::string content(20 << 20, 'r');
    const std::string source = sandbox.write("rom.zip", content);
    const std::string target = sandbox.write("rom.zip_BU_0", "earlier copy");
    int asked = 0;

    EXPECT_FALSE(copyFile(source, target, [&] { return ++asked < 2; }));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(readFile(target), "earlier copy");
    EXPECT_EQ(folderContent(sandbox.root()), (std::vector<std::string>{"rom.zip", "rom.zip_BU_0"}));

    asked = 0;
    EXPECT_TRUE(copyFile(source, target, [&] { return ++asked > 0; }));
    EXPECT_GE(asked, 2);
    EXPECT_TRUE(readFile(target) == content);
}

TEST(FileLayerWin32, RemoveTreeTakesReadOnlyFilesAndNestedFolders) {
    TempFolder sandbox;
    sandbox.folder("files");
    sandbox.folder("files\\system");
    sandbox.folder("files\\system\\app");
    const std::string locked = sandbox.write("files\\system\\app\\A.apk", "apk");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    sandbox.write("files\\top.txt", "x");
    sandbox.folder("files\\empty");

    EXPECT_TRUE(removeTree(sandbox.root() + "files\\"));
    EXPECT_EQ(fileSize(sandbox.root() + "files"), fileSizeMissing);
    EXPECT_FALSE(removeTree(sandbox.root() + "files\\"));
}

TEST(FileLayerWin32, RemoveTreeNeverEntersALinkedFolder) {
    TempFolder sandbox;
    sandbox.folder("outside");
    const std::string kept = sandbox.write("outside\\keep.txt", "keep");
    sandbox.folder("files");
    const std::string link = sandbox.root() + "files\\link";
    if (!CreateSymbolicLinkA(link.c_str(), (sandbox.root() + "outside").c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "this system can't make a directory link (error " << GetLastError() << ")";

    EXPECT_TRUE(removeTree(sandbox.root() + "files"));
    EXPECT_EQ(readFile(kept), "keep");
}

TEST(FileLayerWin32, LinkTargetFollowsAFileLinkAndKeepsOtherPaths) {
    TempFolder sandbox;
    const std::string rom = sandbox.write("rom.zip", "PK");
    EXPECT_EQ(linkTarget(rom), rom);
    EXPECT_EQ(linkTarget(sandbox.root() + "missing.zip"), sandbox.root() + "missing.zip");
    const std::string link = sandbox.root() + "link.zip";
    // Wine 8 makes a link that it then can't open.
    if (!CreateSymbolicLinkA(link.c_str(), rom.c_str(), 0) ||
        GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "this system can't make a file link it can open";
    EXPECT_EQ(linkTarget(link), rom);
}

TEST(FileLayerWin32, FullPathNamesWhatTheUserMeantAsTheDiskSpellsIt) {
    TempFolder sandbox;
    sandbox.folder("Roms");
    sandbox.write("Roms\\rom.zip", "PK");
    // The temporary folder may be named by a short name itself.
    char longRoot[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(sandbox.root().c_str(), longRoot, MAX_PATH), 0u);
    const std::string root = longRoot;
    const std::string rom = root + "Roms\\rom.zip";
    // Other case, a trailing dot and blank, '/' and "..": the file as it is on disk.
    const std::string otherCase = fullPath(root + "ROMS\\ROM.ZIP");
    EXPECT_TRUE(otherCase.ends_with("\\rom.zip") && sameFile(otherCase, rom)) << otherCase;
    EXPECT_EQ(fullPath(root + "Roms\\rom.zip."), rom);
    EXPECT_EQ(fullPath(root + "Roms\\rom.zip. "), rom);
    EXPECT_EQ(fullPath(root + "Roms/../Roms/rom.zip"), rom);
    // "\\?\" and "\\.\" name the same file; the plain form is what 7z.exe and the user know.
    EXPECT_EQ(fullPath("\\\\?\\" + rom), rom);
    EXPECT_EQ(fullPath("\\\\.\\" + rom), rom);
    // A UNC path stays one, though nothing answers there.
    EXPECT_EQ(fullPath("\\\\nas\\roms\\rom.zip"), "\\\\nas\\roms\\rom.zip");
    EXPECT_EQ(fullPath("\\\\?\\UNC\\nas\\roms\\rom.zip"), "\\\\nas\\roms\\rom.zip");
    // Relative to the working folder; a missing file keeps its name as typed.
    char here[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, here);
    SetCurrentDirectoryA((root + "Roms").c_str());
    const std::string relative = fullPath("rom.zip");
    const std::string missing = fullPath("Missing.ZIP");
    SetCurrentDirectoryA(here);
    EXPECT_TRUE(sameFile(relative, rom)) << relative;
    EXPECT_EQ(missing, root + "Roms\\Missing.ZIP");
    EXPECT_EQ(fullPath(""), "");
    // A short (8.3) name is expanded, where the file system has one.
    char shortName[MAX_PATH];
    const DWORD length = GetShortPathNameA(rom.c_str(), shortName, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || shortName == rom)
        GTEST_SKIP() << "this file system gives no short names";
    EXPECT_EQ(fullPath(shortName), rom);
}

TEST(FileLayerWin32, PlainFilesAreNoLinksAndNamesCompareInAnyCase) {
    TempFolder sandbox;
    EXPECT_FALSE(isLink(sandbox.folder("outside")));
    EXPECT_FALSE(isLink(sandbox.write("outside\\a.apk", "a")));
    EXPECT_FALSE(isLink(sandbox.root() + "missing"));
    EXPECT_TRUE(fileNameStartsWith("ROM.ZIP_BU_0", "rom.zip"));
    EXPECT_TRUE(fileNameStartsWith("rom.zip", "Rom.Zip"));
    EXPECT_FALSE(fileNameStartsWith("rom.zi", "rom.zip"));
    EXPECT_FALSE(fileNameStartsWith("other.zip", "rom.zip"));
    // Wine makes a directory link that it doesn't report as a reparse point: cli_test.sh adds
    // from an add folder holding a link of the kind Wine does report.
}

TEST(FileLayerWin32, Renames) {
    TempFolder sandbox;
    const std::string list = sandbox.write("list.ini", "old");
    const std::string fresh = sandbox.write("list.ini.tmp", "new");
    EXPECT_TRUE(renameFile(fresh, list));
    EXPECT_EQ(readFile(list), "new");
    EXPECT_EQ(fileSize(fresh), fileSizeMissing);
    EXPECT_TRUE(removeFile(list));
    EXPECT_FALSE(removeFile(list));
}
