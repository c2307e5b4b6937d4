#include "tools/archiver.h"

#include "platform/gui.h"
#include "tools/process.h"

namespace {

constexpr const char* successLine = "everything is ok";
constexpr const char* errorIntro = "There was an error while zip - processing: \r";
constexpr const char* doubtText = "Maybe there was an error with the zip - processing, please check";
constexpr int pauseMilliseconds = 2;

std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string startFailureText(const std::string& program, bool programFound) {
    std::string text = "The 7z archiver could not be started";
    if (programFound) return text + ".";
    text += ": \"" + program + "\" was not found";
    if (program.find_first_of("/\\") == std::string::npos) text += " on the search path (PATH)";
    return text + ".";
}

}  // namespace

int runArchiver(Gui& gui, const std::string& program, const std::string& parameters,
                const std::string& workingDirectory, bool waitOnly) {
    int result = 1;
    std::string lastLine;
    std::string errorLine;
    std::string folder = workingDirectory;
#ifdef _WIN32
    // The Windows build's archiver runs in its own folder unless a step names another.
    if (folder.empty()) folder = program.substr(0, program.find_last_of("\\/") + 1);
#endif

    if (waitOnly) {
        lastLine = successLine;
        startProcess(program, parameters, folder, hideWindow | waitForExit);
    } else {
        StartResult start = startProcess(program, parameters, folder,
                                         hideWindow | keepHandle | captureOutput | captureErrors);
        if (!start.handle) {
            gui.messageBox("Warning", errorIntro + startFailureText(program, start.programFound));
            return 0;
        }
        ProcessHandle& process = *start.handle;
        while (isProcessRunning(process)) {
            if (availableOutput(process) > 0) {
                lastLine = trimBlanks(readOutputLine(process));
                continue;
            }
            errorLine = readErrorLine(process);
            if (!errorLine.empty()) {
                killProcess(process);
                break;
            }
            waitForOutput(process, pauseMilliseconds);
        }
    }

    if (!errorLine.empty()) {
        gui.messageBox("Warning", errorIntro + errorLine);
        result = 0;
    } else if (lowerAscii(lastLine) != successLine) {
        gui.messageBox("Warning", doubtText);
    }
    return result;
}
