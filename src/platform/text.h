// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The build's line end for the files the program writes: LF on Linux, CR LF on Windows.
#ifdef _WIN32
inline constexpr const char* lineEnd = "\r\n";
#else
inline constexpr const char* lineEnd = "\n";
#endif

// Whether 7z takes the names on its command line as UTF-8: the Linux 7z always; the Windows
// 7z.exe when the program runs with UTF-8 as its code page (which its manifest asks for, and
// Windows 10 1903 and later grant), since CreateProcessA converts the command line from that
// code page. Otherwise the names are 8-bit text in the system's code page.
bool archiverNamesAreUtf8();

// The platform's 8-bit lower-casing of names: A-Z on Linux; the Windows build also lowers the
// other letters of the system's code page, or with UTF-8 as that code page the Latin-1 letters
// the definition files' names are read as.
std::string lowerName(const std::string& text);

// A zip entry's name as 7z compares names on its command line with the archive's: the name
// itself on Linux; on Windows '\\' and '/' alike and the case of every letter ignored, as 7z.exe
// folds it (Unicode letters too: "CAFÉ.apk" and "Café.apk" are one name to it).
std::string archiverNameKey(const std::string& name);

// True when a zip entry's name (folders separated as 7z lists them) can be written below a folder
// of this system as it stands: any name on Linux; on Windows no folder or file of it may hold a
// control character or one of <>:"|?*, end with a dot or a blank, or be a device name (CON,
// NUL, COM1, ...), which 7z.exe would write under another name.
bool isWritableFileName(const std::string& name);

// How a path read from a definition file is kept: Linux turns every '\' into '/'; Windows keeps
// the path as written, but with UTF-8 as its code page takes a path that isn't UTF-8 (from an
// 8-bit definition file) as Latin-1 and writes it in UTF-8.
std::string normaliseDefinitionPath(const std::string& path);

// Sets `names` to the names in `folder` (which ends with a separator) that match "*.ini" by the
// platform's rules, folders excluded, in the order the directory listing gives them; whatever
// `names` held before is dropped. False, with `names` empty, when the folder can't be listed.
bool listDefinitionFiles(const std::string& folder, std::vector<std::string>& names);

// The program's 8-bit paths as file-system paths and back: the bytes themselves on Linux; the
// system's code page on Windows (the standard library would take the bytes for UTF-8 there).
std::filesystem::path fileSystemPath(const std::string& path);
std::string programPath(const std::filesystem::path& path);
