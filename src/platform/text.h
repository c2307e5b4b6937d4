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

// How 7z takes the names on its command line: the Linux 7z as UTF-8; the Windows 7z.exe as
// 8-bit text in the system's code page, which CreateProcessA converts.
#ifdef _WIN32
inline constexpr bool archiverNamesAreUtf8 = false;
#else
inline constexpr bool archiverNamesAreUtf8 = true;
#endif

// The platform's 8-bit lower-casing of names: A-Z on Linux; the Windows build also lowers the
// other letters of the system's code page.
std::string lowerName(const std::string& text);

// How a path read from a definition file is kept: Linux turns every '\' into '/'; Windows keeps
// the path as written.
std::string normaliseDefinitionPath(const std::string& path);

// Lists the names in `folder` (which ends with a separator) that match "*.ini" by the
// platform's rules, folders excluded, in the order the directory listing gives them. False when
// the folder can't be listed.
bool listDefinitionFiles(const std::string& folder, std::vector<std::string>& names);

// The program's 8-bit paths as file-system paths and back: the bytes themselves on Linux; the
// system's code page on Windows (the standard library would take the bytes for UTF-8 there).
std::filesystem::path fileSystemPath(const std::string& path);
std::string programPath(const std::filesystem::path& path);
