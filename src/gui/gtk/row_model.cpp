// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/row_model.h"

#include "gui/gtk/text.h"

#include <utility>

struct _RowModel {
    GObject parent;
    std::vector<RowModelRow>* rows;
    // Iterators hold a row index, which an insertion or removal moves; the stamp changes with
    // them so that a stale iterator is refused instead of pointing at another row.
    gint stamp;
};

struct RowModelClass {
    GObjectClass parent;
};

namespace {

void rowModelInterfaceInit(GtkTreeModelIface* iface);

}  // namespace

G_DEFINE_TYPE_WITH_CODE(RowModel, row_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL, rowModelInterfaceInit))

namespace {

RowModel* self(GtkTreeModel* model) { return reinterpret_cast<RowModel*>(model); }

int size(const RowModel* model) { return static_cast<int>(model->rows->size()); }

bool setIter(RowModel* model, GtkTreeIter* iter, int row) {
    if (row < 0 || row >= size(model)) {
        iter->stamp = 0;
        return false;
    }
    iter->stamp = model->stamp;
    iter->user_data = GINT_TO_POINTER(row);
    return true;
}

int indexOf(RowModel* model, GtkTreeIter* iter) {
    if (!iter || iter->stamp != model->stamp) return -1;
    const int row = GPOINTER_TO_INT(iter->user_data);
    return row >= 0 && row < size(model) ? row : -1;
}

GtkTreeModelFlags getFlags(GtkTreeModel*) { return GTK_TREE_MODEL_LIST_ONLY; }

gint getColumnCount(GtkTreeModel*) { return rowModelColumnCount; }

GType getColumnType(GtkTreeModel*, gint column) {
    return column == rowModelTick ? G_TYPE_BOOLEAN : G_TYPE_STRING;
}

gboolean getIter(GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) {
    if (gtk_tree_path_get_depth(path) != 1) return FALSE;
    return setIter(self(model), iter, gtk_tree_path_get_indices(path)[0]);
}

GtkTreePath* getPath(GtkTreeModel* model, GtkTreeIter* iter) {
    const int row = indexOf(self(model), iter);
    return row < 0 ? nullptr : gtk_tree_path_new_from_indices(row, -1);
}

void getValue(GtkTreeModel* model, GtkTreeIter* iter, gint column, GValue* value) {
    const int row = indexOf(self(model), iter);
    if (column == rowModelTick) {
        g_value_init(value, G_TYPE_BOOLEAN);
        if (row >= 0) g_value_set_boolean(value, (*self(model)->rows)[row].ticked);
        return;
    }
    g_value_init(value, G_TYPE_STRING);
    if (row < 0) return;
    const RowModelRow& values = (*self(model)->rows)[row];
    g_value_set_string(value,
                       displayText(column == rowModelName ? values.name : values.mode).c_str());
}

gboolean iterNext(GtkTreeModel* model, GtkTreeIter* iter) {
    const int row = indexOf(self(model), iter);
    return row >= 0 && setIter(self(model), iter, row + 1);
}

gboolean iterNthChild(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent, gint n) {
    if (parent) {
        iter->stamp = 0;
        return FALSE;
    }
    return setIter(self(model), iter, n);
}

gboolean iterChildren(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) {
    return iterNthChild(model, iter, parent, 0);
}

gboolean iterHasChild(GtkTreeModel*, GtkTreeIter*) { return FALSE; }

gint iterChildCount(GtkTreeModel* model, GtkTreeIter* iter) { return iter ? 0 : size(self(model)); }

gboolean iterParent(GtkTreeModel*, GtkTreeIter* iter, GtkTreeIter*) {
    iter->stamp = 0;
    return FALSE;
}

void rowModelInterfaceInit(GtkTreeModelIface* iface) {
    iface->get_flags = getFlags;
    iface->get_n_columns = getColumnCount;
    iface->get_column_type = getColumnType;
    iface->get_iter = getIter;
    iface->get_path = getPath;
    iface->get_value = getValue;
    iface->iter_next = iterNext;
    iface->iter_children = iterChildren;
    iface->iter_has_child = iterHasChild;
    iface->iter_n_children = iterChildCount;
    iface->iter_nth_child = iterNthChild;
    iface->iter_parent = iterParent;
}

// A view that isn't attached has no handlers; telling nobody costs a path and an emission per
// row, which a large catalogue would pay for nothing.
bool watched(RowModel* model, const char* signal) {
    return g_signal_has_handler_pending(model, g_signal_lookup(signal, GTK_TYPE_TREE_MODEL), 0,
                                        FALSE);
}

void finalize(GObject* object) {
    delete reinterpret_cast<RowModel*>(object)->rows;
    G_OBJECT_CLASS(row_model_parent_class)->finalize(object);
}

}  // namespace

static void row_model_class_init(RowModelClass* type) { G_OBJECT_CLASS(type)->finalize = finalize; }

static void row_model_init(RowModel* model) {
    model->rows = new std::vector<RowModelRow>;
    model->stamp = g_random_int() | 1;
}

RowModel* row_model_new() {
    return reinterpret_cast<RowModel*>(g_object_new(row_model_get_type(), nullptr));
}

int row_model_size(RowModel* model) { return size(model); }

RowModelRow* row_model_row(RowModel* model, int row) {
    return row >= 0 && row < size(model) ? &(*model->rows)[row] : nullptr;
}

int row_model_index(RowModel* model, GtkTreeIter* iter) { return indexOf(model, iter); }

void row_model_changed(RowModel* model, int row) {
    GtkTreeIter iter;
    if (!setIter(model, &iter, row) || !watched(model, "row-changed")) return;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_model_row_changed(GTK_TREE_MODEL(model), path, &iter);
    gtk_tree_path_free(path);
}

void row_model_insert(RowModel* model, int row, RowModelRow value) {
    if (row < 0 || row > size(model)) return;
    model->rows->insert(model->rows->begin() + row, std::move(value));
    if (row < size(model) - 1) model->stamp += 2;  // rows after it moved
    GtkTreeIter iter;
    if (!setIter(model, &iter, row) || !watched(model, "row-inserted")) return;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_model_row_inserted(GTK_TREE_MODEL(model), path, &iter);
    gtk_tree_path_free(path);
}

void row_model_clear(RowModel* model) {
    model->stamp += 2;
    if (!watched(model, "row-deleted")) {
        model->rows->clear();
        return;
    }
    // From the last row, so that a view never has rows after the one it drops to renumber.
    while (!model->rows->empty()) {
        model->rows->pop_back();
        GtkTreePath* path = gtk_tree_path_new_from_indices(size(model), -1);
        gtk_tree_model_row_deleted(GTK_TREE_MODEL(model), path);
        gtk_tree_path_free(path);
    }
}
