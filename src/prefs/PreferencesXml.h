#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "prefs/Preferences.h"

namespace scalino {

// The standard preferences document: a "preferences" root (EXTERNAL_XML_VERSION="1.0") with a
// "root" of type "user", nested "node" elements named by path segment, each with a "map" of
// "entry key=... value=..." elements.

// Writes the node (and the path down to it) with its values; only the keys that include
// accepts, when given. Throws BackingStoreException when the stream fails.
void exportNode(Preferences& node, std::ostream& out,
                const std::function<bool(std::string_view key)>& include = {});

// Checks the whole document first and throws InvalidPreferencesFormatException, saying what is
// wrong and on which line, before anything is written; then puts every entry into the node of
// root it names, writes the nodes to their backing storage and syncs them (a failure there
// throws BackingStoreException). A DOCTYPE line is accepted and never fetched.
void importPreferences(std::string_view document, Preferences& root);

}  // namespace scalino
