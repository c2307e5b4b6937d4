// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "cli/arguments.h"
#include "pipeline/request.h"

#include <string>
#include <vector>

// An app's name as slimkit-cli prints it: UTF-8, whichever way its definition file holds it.
std::string shownName(const CatalogueEntry& entry);

// The entries the arguments ask for, in the check list's order: the apps ticked at start, the
// removal lists applied to them, then every --app and --definition. False, with the reason in
// `error`, for a list that can't be read, an app that can't be told, or one that `knowledge`
// calls Unsafe named by --app or --definition without --allow-unsafe.
bool selectEntries(const Catalogue& catalogue, const std::string& definitionFolder,
                   const Arguments& arguments, const AppKnowledge& knowledge,
                   std::vector<TickedEntry>& ticked, std::string& error);

// One warning line for each selected app that others need, by what `knowledge` says.
std::vector<std::string> dependentWarnings(const std::vector<TickedEntry>& ticked,
                                           const AppKnowledge& knowledge);
