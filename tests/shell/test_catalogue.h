// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/catalogue.h"
#include "platform/text.h"

#include <memory>
#include <string>

// Appends an entry as the definition loader would, the later of two equal names winning the
// name index.
inline CatalogueEntry& addEntry(Catalogue& catalogue, const std::string& name,
                                bool isWidget = false, bool enabled = false,
                                const std::string& description = "") {
    auto entry = std::make_unique<CatalogueEntry>();
    entry->name = name;
    entry->description = description;
    entry->definitionFile = "/defs/" + name + ".ini";
    entry->isWidget = isWidget;
    entry->enabled = enabled;
    CatalogueEntry& added = *entry;
    catalogue.entries.push_back(std::move(entry));
    catalogue.entryByName[nameKey(name)] = &added;
    return added;
}
