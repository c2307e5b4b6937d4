// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"

#include "gui/gtk/gui_impl.h"
#include "gui/gtk/text.h"

#include <gtk/gtk.h>

namespace {

// GTK's filter patterns are case-sensitive; the program's "*.zip" must find "ROM.ZIP" too.
std::string caseFreePattern(const std::string& pattern) {
    std::string result;
    for (const char c : pattern) {
        if (g_ascii_isalpha(c)) {
            result += '[';
            result += g_ascii_tolower(c);
            result += g_ascii_toupper(c);
            result += ']';
        } else {
            result += c;
        }
    }
    return result;
}

std::string takeString(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

// Shows a modal box over `parent` (the screen's centre without one) and returns its answer.
gint runBox(GtkWindow* parent, GtkMessageType type, GtkButtonsType buttons,
            const std::string& title, const std::string& text) {
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, buttons, "%s",
                                            displayLines(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), displayText(title).c_str());
    gtk_window_set_position(GTK_WINDOW(box),
                            parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    const gint answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return answer;
}

}  // namespace

void GtkGui::messageBox(const std::string& title, const std::string& text) {
    runBox(impl_->dialogParent(), GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, title, text);
}

bool GtkGui::questionBox(const std::string& title, const std::string& text) {
    return runBox(impl_->dialogParent(), GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, title, text) ==
           GTK_RESPONSE_YES;
}

namespace {

std::string runFileDialog(GtkWindow* parent, GtkFileChooserAction action, const char* accept,
                          const std::string& title, const std::string& filterName,
                          const std::string& pattern, const std::string& startPath) {
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new(displayText(title).c_str(), parent, action, GTK_STOCK_CANCEL,
                                    GTK_RESPONSE_CANCEL, accept, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    auto* chooser = GTK_FILE_CHOOSER(dialog);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, displayText(filterName).c_str());
    gtk_file_filter_add_pattern(filter, caseFreePattern(displayText(pattern)).c_str());
    gtk_file_chooser_add_filter(chooser, filter);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, action == GTK_FILE_CHOOSER_ACTION_SAVE);
    // Without a start path GTK opens on its recently used files, where a save dialog has no
    // folder to save in; the home folder is where a desktop user expects to start.
    if (!startPath.empty())
        gtk_file_chooser_set_filename(chooser, startPath.c_str());
    else
        gtk_file_chooser_set_current_folder(chooser, g_get_home_dir());
    std::string chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT)
        chosen = takeString(gtk_file_chooser_get_filename(chooser));
    gtk_widget_destroy(dialog);
    return chosen;
}

}  // namespace

std::string GtkGui::openFileDialog(const std::string& title, const std::string& filterName,
                                   const std::string& pattern, const std::string& startPath) {
    return runFileDialog(impl_->dialogParent(), GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_OPEN, title,
                         filterName, pattern, startPath);
}

std::string GtkGui::saveFileDialog(const std::string& title, const std::string& filterName,
                                   const std::string& pattern) {
    return runFileDialog(impl_->dialogParent(), GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_SAVE, title,
                         filterName, pattern, "");
}
