// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Hands a URL, folder or file to the desktop's default handler and returns at once, without
// waiting for the handler and without reporting anything.
void openWithDesktop(const std::string& target);

// The targets of the About tab.
inline constexpr const char* donationUrl = "https://slimkit.example.org/donate";
inline constexpr const char* forumThreadUrl = "https://forum.example.org/threads/slimkit";
