#include "platform/archiver_check.h"

bool checkArchiverPresent(const ProgramPaths&) {
    return true;
}
