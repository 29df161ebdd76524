#include "prefs/FilePreferences.h"

#include <algorithm>
#include <set>

#include "prefs/BackingStoreException.h"
#include "prefs/PreferencesLog.h"

namespace scalino {

FilePreferences::FilePreferences(std::shared_ptr<const PreferencesFile> file)
    : Preferences(nullptr, ""), file_(std::move(file)) {
    syncOnCreation();
}

FilePreferences::FilePreferences(FilePreferences* parent, std::string name)
    : Preferences(parent, std::move(name)), file_(parent->file_) {
    PreferencesLog::debug("Instantiating node " + this->name());
    syncOnCreation();
}

void FilePreferences::syncOnCreation() {
    try {
        syncSpi();
    } catch (const BackingStoreException& error) {
        // Whoever reads the node gets the same failure and reports it once; a line per node
        // created would only bury that report.
        PreferencesLog::debug("Unable to sync on creation of node " + name() + ": " + error.what());
    }
}

std::string FilePreferences::getPath() const {
    const auto* parent = static_cast<const FilePreferences*>(this->parent());
    return parent ? parent->getPath() + name() + "." : "";
}

std::optional<std::string> FilePreferences::ownKey(const std::string& fileKey,
                                                   const std::string& path) const {
    if (!fileKey.starts_with(path)) return std::nullopt;
    std::string key = fileKey.substr(path.size());
    if (key.find('.') != std::string::npos) return std::nullopt;
    return key;
}

void FilePreferences::putSpi(const std::string& key, const std::string& value) {
    root_[key] = value;
    try {
        flushSpi();
    } catch (const BackingStoreException& error) {
        PreferencesLog::error("Unable to flush after putting " + key + ": " + error.what());
    }
}

void FilePreferences::putAllSpi(const std::vector<NodeValues>& values) {
    const std::string path = getPath();
    file_->update([&](PreferencesFile::Entries& entries) {
        for (const NodeValues& node : values) {
            std::string prefix = path + node.path;
            std::replace(prefix.begin() + static_cast<std::ptrdiff_t>(path.size()), prefix.end(),
                         '/', '.');
            if (!node.path.empty()) prefix += '.';
            for (const auto& [key, value] : node.entries)
                entries[prefix + key] = value;
        }
    });
    // Nodes already in memory read the values back, as they would after a put and a sync.
    std::set<FilePreferences*> created;
    for (const NodeValues& node : values) {
        if (FilePreferences* existing = createdNode(node.path)) created.insert(existing);
    }
    if (created.empty()) return;
    const PreferencesFile::Entries entries = file_->read();
    for (FilePreferences* node : created)
        node->loadOwnValues(entries);
}

FilePreferences* FilePreferences::createdNode(std::string_view path) {
    FilePreferences* node = this;
    while (node && !path.empty()) {
        const size_t slash = path.find('/');
        const auto child = node->children_.find(std::string(path.substr(0, slash)));
        node = child == node->children_.end() ? nullptr : child->second.get();
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return node;
}

std::optional<std::string> FilePreferences::getSpi(const std::string& key) {
    const auto it = root_.find(key);
    if (it == root_.end()) return std::nullopt;
    return it->second;
}

void FilePreferences::removeSpi(const std::string& key) {
    root_.erase(key);
    try {
        flushSpi();
    } catch (const BackingStoreException& error) {
        PreferencesLog::error("Unable to flush after removing " + key + ": " + error.what());
    }
}

std::vector<std::string> FilePreferences::keysSpi() {
    std::vector<std::string> keys;
    for (const auto& entry : root_)
        keys.push_back(entry.first);
    return keys;
}

std::vector<std::string> FilePreferences::childrenNamesSpi() {
    std::vector<std::string> names;
    for (const auto& entry : children_)
        names.push_back(entry.first);
    return names;
}

Preferences& FilePreferences::childSpi(const std::string& name) {
    auto& child = children_[name];
    if (!child) child = std::make_unique<FilePreferences>(this, name);
    return *child;
}

void FilePreferences::forgetChildSpi(const std::string& name) {
    const auto it = children_.find(name);
    if (it == children_.end()) return;
    removedChildren_.push_back(std::move(it->second));
    children_.erase(it);
}

void FilePreferences::removeNodeSpi() {
    // Only this node's own values leave the file: the base class marks it removed afterwards,
    // so write as a removed node now.
    const std::string path = getPath();
    file_->update([&](PreferencesFile::Entries& entries) {
        std::erase_if(entries, [&](const auto& entry) { return ownKey(entry.first, path); });
    });
}

void FilePreferences::flushSpi() {
    const std::string path = getPath();
    const bool removed = isRemoved();
    file_->update([&](PreferencesFile::Entries& entries) {
        std::erase_if(entries, [&](const auto& entry) { return ownKey(entry.first, path); });
        if (removed) return;
        for (const auto& [key, value] : root_)
            entries[path + key] = value;
    });
}

void FilePreferences::syncSpi() {
    loadOwnValues(file_->read());
}

void FilePreferences::loadOwnValues(const PreferencesFile::Entries& entries) {
    const std::string path = getPath();
    for (const auto& [fileKey, value] : entries) {
        if (auto key = ownKey(fileKey, path)) root_[*key] = value;
    }
}

}  // namespace scalino
