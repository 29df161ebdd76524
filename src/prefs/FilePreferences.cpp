#include "prefs/FilePreferences.h"

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
        PreferencesLog::error("Unable to sync on creation of node " + name() + ": " + error.what());
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
    const std::string path = getPath();
    for (const auto& [fileKey, value] : file_->read()) {
        if (auto key = ownKey(fileKey, path)) root_[*key] = value;
    }
}

}  // namespace scalino
