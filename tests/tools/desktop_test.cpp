// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/desktop.h"

#include "tools/tool_sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(OpenWithDesktop, HandsTheTargetOverWholeAndDoesNotWait) {
    ToolSandbox sandbox;
    const std::string go = sandbox.folder + "go", done = sandbox.folder + "done";
    sandbox.installFake("xdg-open", {"wait-for " + go, "touch " + done});
    const std::string target = sandbox.folder + "app/add folder/ \"odd\" \\name/";
    openWithDesktop(target);
    // Returned while the handler still waits, and left nothing of ours behind.
    EXPECT_TRUE(childProcesses().empty());
    writeFile(go, "");
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(done); }));
    EXPECT_EQ(sandbox.recordedArgs("xdg-open"), (std::vector<std::string>{"xdg-open", target}));
    EXPECT_TRUE(childProcesses().empty());
}

TEST(OpenWithDesktop, EachCallOpensItsOwnTarget) {
    ToolSandbox sandbox;
    const std::string done = sandbox.bin + "done";
    sandbox.installFake("xdg-open", {"touch done"});
    for (const std::string target : {donationUrl, forumThreadUrl}) {
        openWithDesktop(target);
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(done); }));
        EXPECT_EQ(sandbox.recordedArgs("xdg-open"), (std::vector<std::string>{"xdg-open", target}));
        std::filesystem::remove(done);
    }
}

TEST(OpenWithDesktop, WithoutOpenerNothingHappens) {
    ToolSandbox sandbox;
    openWithDesktop("https://slimkit.example.org/");
    EXPECT_TRUE(childProcesses().empty());
}

}  // namespace
