// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/request.h"

#include <string>

class Gui;
struct ProgramPaths;

// The run the window's controls ask for: the ROM path, the three check boxes, and every ticked
// row of the check list with the removal mode its second column shows, in row order.
CustomizeRequest windowRequest(const Gui& gui, const std::string& romPath);

// "Customize!": runs the window's request, with the status line and message boxes as its
// reporter. The status line shows 7z's percentage after the step's text, and the window keeps
// painting. Closing the window (or Escape) asks whether to stop the run; a stop signal stops it
// without asking, and the program then ends as the signal asks. True when the ROM zip changed
// (its size or its time of change differs from before the run).
bool customizeFromWindow(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
