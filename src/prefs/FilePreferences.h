#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "prefs/Preferences.h"
#include "prefs/PreferencesFile.h"

namespace scalino {

// One node of the file-backed store. The whole tree lives in one properties file whose keys
// are the node's path ("com.velmora.Scalino.") followed by the value's key. Every put and
// remove rewrites the file at once; other nodes' entries written in between are kept.
class FilePreferences : public Preferences {
public:
    // The root node of the tree kept in file.
    explicit FilePreferences(std::shared_ptr<const PreferencesFile> file);
    FilePreferences(FilePreferences* parent, std::string name);

    // The prefix of this node's file keys: the names from the root's child down, each followed
    // by "." ("" for the root).
    std::string getPath() const;

protected:
    void putSpi(const std::string& key, const std::string& value) override;
    std::optional<std::string> getSpi(const std::string& key) override;
    void removeSpi(const std::string& key) override;
    // One rewrite of the file for all values, however many.
    void putAllSpi(const std::vector<NodeValues>& values) override;
    std::vector<std::string> keysSpi() override;
    std::vector<std::string> childrenNamesSpi() override;
    Preferences& childSpi(const std::string& name) override;
    void forgetChildSpi(const std::string& name) override;
    void removeNodeSpi() override;
    void flushSpi() override;
    void syncSpi() override;

private:
    void syncOnCreation();
    // Takes this node's own values from the file's entries.
    void loadOwnValues(const PreferencesFile::Entries& entries);
    // The node at the relative path when it and the nodes above it have been created.
    FilePreferences* createdNode(std::string_view path);
    // The rest of a file key after this node's path when the entry is one of this node's own
    // values (not another node's, not a descendant's).
    std::optional<std::string> ownKey(const std::string& fileKey, const std::string& path) const;

    std::shared_ptr<const PreferencesFile> file_;
    std::map<std::string, std::string> root_;
    std::map<std::string, std::unique_ptr<FilePreferences>> children_;
    // Removed children stay alive for callers that still hold them.
    std::vector<std::unique_ptr<FilePreferences>> removedChildren_;
};

}  // namespace scalino
