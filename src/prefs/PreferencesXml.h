#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "prefs/Preferences.h"

namespace scalino {

// The standard preferences document: a "preferences" root (EXTERNAL_XML_VERSION="1.0") with a
// "root" of type "user", nested "node" elements named by path segment, each with a "map" of
// "entry key=... value=..." elements.

// A settings path is a few nodes deep; deeper documents are refused.
inline constexpr size_t kMaxDocumentDepth = 64;
// Far above any real document (a program's settings take a few KiB), and room for twice the
// largest settings file written out.
inline constexpr size_t kMaxDocumentBytes = 8 * 1024 * 1024;

// Writes the node (and the path down to it) with its values; only the keys that include
// accepts, when given. Throws BackingStoreException when the stream fails.
void exportNode(Preferences& node, std::ostream& out,
                const std::function<bool(std::string_view key)>& include = {});

// Checks the whole document first and throws InvalidPreferencesFormatException, saying what is
// wrong and on which line, before anything is written: a document larger than
// kMaxDocumentBytes, nodes nested deeper than kMaxDocumentDepth, a reference to an entity or to
// a character no setting can hold (&#0;), a version other than 1.0 or earlier. Then puts every
// entry into the node of root it names, all in one write of the backing storage (putAll): a
// failure there throws BackingStoreException and stores none of them. A DOCTYPE line is
// accepted and never fetched. check, when given, sees every entry before anything is written,
// and may throw to refuse the document.
void importPreferences(
    std::string_view document, Preferences& root,
    const std::function<void(const std::vector<Preferences::NodeValues>&)>& check = {});

}  // namespace scalino
