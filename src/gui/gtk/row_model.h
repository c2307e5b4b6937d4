// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

struct CatalogueEntry;

// The check list's rows as a GtkTreeModel of its own: a flat vector the program reads and
// writes directly. A GtkListStore keeps its rows in a balanced tree and passes every value
// through GValues and varargs, which made filling a large catalogue cost several times what
// showing the list does; here adding a row is a push onto a vector, and the view learns of a
// change only through the model's signals.
//
// Columns as the view reads them: the tick (gboolean) and the two cell texts (UTF-8 strings,
// converted from the program's 8-bit texts when they aren't valid UTF-8). The attached entry is
// not shown and is no column.
struct RowModelRow {
    bool ticked = false;
    std::string name;
    std::string mode;
    CatalogueEntry* entry = nullptr;
};

enum RowModelColumn { rowModelTick, rowModelName, rowModelMode, rowModelColumnCount };

typedef struct _RowModel RowModel;

RowModel* row_model_new();
int row_model_size(RowModel* model);
// The row at an index, or nullptr; a changed row must be reported with row_model_changed.
RowModelRow* row_model_row(RowModel* model, int row);
void row_model_changed(RowModel* model, int row);
// Inserts before the row at index row (0 <= row <= size).
void row_model_insert(RowModel* model, int row, RowModelRow value);
void row_model_clear(RowModel* model);
// The index of the row an iterator or path points at, or -1.
int row_model_index(RowModel* model, GtkTreeIter* iter);
