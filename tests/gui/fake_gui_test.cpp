// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_gui.h"
#include "gui/gui_contract.h"
#include "platform/utf8.h"

namespace {

// The fake shows nothing: what a window would show is what was set, in UTF-8.
class FakeContractWindow : public ContractWindow {
public:
    Gui& gui() override { return fake_; }
    std::string shownStatus() override {
        return fake_.statusTexts.empty() ? "" : asUtf8(fake_.statusTexts.back());
    }
    std::string shownTooltip() override { return asUtf8(fake_.tooltip); }
    std::string shownCell(int row, int column) override {
        return asUtf8(fake_.cellText(row, column));
    }
    bool menuItemEnabled(MenuItem item) override { return fake_.menuEnabled[item]; }

private:
    FakeGui fake_;
};

std::unique_ptr<ContractWindow> makeFakeWindow() { return std::make_unique<FakeContractWindow>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(FakeGui, GuiContract, testing::Values(&makeFakeWindow), contractTestName);
