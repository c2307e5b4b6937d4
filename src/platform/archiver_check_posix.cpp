// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/archiver_check.h"

bool checkArchiverPresent(const ProgramPaths&) { return true; }

std::string archiverLibraryFault(const ProgramPaths&) { return ""; }

bool programFolderFitsPathLimit(const ProgramPaths&) { return true; }
