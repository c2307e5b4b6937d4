// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/gui.h"

#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// An in-memory window for tests of the shell and the pipeline: holds the check list's rows and
// the check boxes, records every status text and message box, and answers file dialogs from a
// queue the test fills.
class FakeGui : public Gui {
public:
    struct Row {
        std::string cells[2];
        int state = RowState::none;
        CatalogueEntry* entry = nullptr;
    };
    struct Message {
        std::string title, text;
        bool operator==(const Message&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Message& message) {
            return out << message.title << ": " << message.text;
        }
    };
    struct Dialog {
        std::string kind, title, filterName, pattern, startPath;
    };

    std::vector<Row> rows;
    std::vector<std::string> statusTexts;  // every text set, in order, but for percentages
    // A step's text followed by 7z's percentage ("Removing files ... 42%"), in order.
    std::vector<std::string> percentTexts;
    std::vector<Message> messages;
    std::vector<Dialog> dialogs;
    std::deque<std::string> dialogAnswers;  // "" answers as a cancel
    std::vector<Message> questions;
    std::deque<bool> questionAnswers;  // none left answers "No"
    int pumps = 0;                     // calls of pumpDuringRun
    int closesPosted = 0;              // calls of postClose
    // Whether the user closes the window at the given call of pumpDuringRun; unset: never.
    std::function<bool(int pump)> closeAsked;
    std::map<ControlId, bool> checks{{ControlId::enableAddingCheck, true},
                                     {ControlId::backupCheck, true},
                                     {ControlId::recoveryZipCheck, false}};
    std::string romPath;
    std::string tooltip;
    std::map<MenuItem, bool> menuEnabled;
    int menuShown = 0;

    // Optional hook run when a message box is shown, e.g. to look at files mid-run.
    std::function<void(const Message&)> onMessage;

    // Makes the controls in the table's order, as the real windows do; tests that build no
    // window start from `checks`.
    void buildWindow(const std::vector<ControlSpec>& controls,
                     const std::function<void()>& onListReady) override {
        checks.clear();
        for (const ControlSpec& control : controls) {
            if (control.kind == ControlKind::checkBox)
                checks[static_cast<ControlId>(control.id)] = control.checked;
            if (control.kind == ControlKind::checkList && onListReady) onListReady();
        }
    }
    void buildEntryMenu() override {
        for (MenuItem item :
             {MenuItem::showDescription, MenuItem::openDefinitionFile, MenuItem::appWidgetMode,
              MenuItem::widgetMode, MenuItem::loadKnowledge})
            menuEnabled[item] = true;
    }
    void showWindow() override {}
    void runEventLoop(const std::function<void(const Event&)>&) override {}
    void destroyWindow() override {}

    // 7z shows its percentages only when a step takes a while: they are kept apart, so the
    // steps' texts don't depend on the machine's speed.
    void setStatusText(const std::string& text) override {
        const bool percent = !statusTexts.empty() && text.ends_with('%') &&
                             text.starts_with(statusTexts.back() + " ");
        (percent ? percentTexts : statusTexts).push_back(text);
    }
    std::string romPathText() const override { return romPath; }
    void setRomPathText(const std::string& text) override { romPath = text; }

    bool isChecked(ControlId box) const override {
        const auto found = checks.find(box);
        return found != checks.end() && found->second;
    }

    int rowCount() const override { return static_cast<int>(rows.size()); }
    void clearRows() override { rows.clear(); }
    void insertRow(int row, const std::string& text) override {
        if (row < 0 || row > rowCount()) return;
        Row added;
        const auto feed = text.find('\n');
        added.cells[0] = text.substr(0, feed);
        if (feed != std::string::npos) added.cells[1] = text.substr(feed + 1);
        rows.insert(rows.begin() + row, added);
    }
    int selectedRow() const override {
        for (int r = 0; r < rowCount(); ++r)
            if (rows[r].state & RowState::selected) return r;
        return -1;
    }
    int rowState(int row) const override { return valid(row) ? rows[row].state : 0; }
    void setRowState(int row, int state) override {
        if (!valid(row)) return;
        if (state & RowState::selected)
            for (Row& other : rows) other.state &= ~RowState::selected;
        rows[row].state = state & (RowState::selected | RowState::ticked);
    }
    std::string cellText(int row, int column) const override {
        return valid(row) && (column == 0 || column == 1) ? rows[row].cells[column] : "";
    }
    void setCellText(int row, int column, const std::string& text) override {
        if (valid(row) && (column == 0 || column == 1)) rows[row].cells[column] = text;
    }
    void setRowEntry(int row, CatalogueEntry* entry) override {
        if (valid(row)) rows[row].entry = entry;
    }
    CatalogueEntry* rowEntry(int row) const override {
        return valid(row) ? rows[row].entry : nullptr;
    }
    void setListTooltip(const std::string& text) override { tooltip = text; }

    void setMenuItemEnabled(MenuItem item, bool enabled) override { menuEnabled[item] = enabled; }
    void showEntryMenu() override { ++menuShown; }

    void messageBox(const std::string& title, const std::string& text) override {
        messages.push_back({title, text});
        if (onMessage) onMessage(messages.back());
    }
    bool pumpDuringRun() override {
        ++pumps;
        return closeAsked && closeAsked(pumps);
    }
    void postClose() override { ++closesPosted; }
    bool questionBox(const std::string& title, const std::string& text) override {
        questions.push_back({title, text});
        if (questionAnswers.empty()) return false;
        const bool yes = questionAnswers.front();
        questionAnswers.pop_front();
        return yes;
    }
    std::string openFileDialog(const std::string& title, const std::string& filterName,
                               const std::string& pattern, const std::string& startPath) override {
        dialogs.push_back({"open", title, filterName, pattern, startPath});
        return nextAnswer();
    }
    std::string saveFileDialog(const std::string& title, const std::string& filterName,
                               const std::string& pattern) override {
        dialogs.push_back({"save", title, filterName, pattern, ""});
        return nextAnswer();
    }

private:
    bool valid(int row) const { return row >= 0 && row < rowCount(); }
    std::string nextAnswer() {
        if (dialogAnswers.empty()) return "";
        std::string answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }
};
