#include "prefs/Preferences.h"

#include <stdexcept>

#include "util/Text.h"

namespace scalino {

Preferences::Preferences(Preferences* parent, std::string name)
    : parent_(parent), name_(std::move(name)) {}

std::string Preferences::absolutePath() const {
    if (!parent_) return "/";
    const std::string parentPath = parent_->absolutePath();
    return (parentPath == "/" ? "" : parentPath) + "/" + name_;
}

Preferences& Preferences::node(std::string_view path) {
    checkNotRemoved();
    if (path.starts_with('/')) {
        Preferences* root = this;
        while (root->parent_)
            root = root->parent_;
        return path == "/" ? *root : root->node(path.substr(1));
    }
    if (path.empty()) return *this;
    if (path.ends_with('/'))
        throw std::invalid_argument("Path ends with a slash: " + std::string(path));
    Preferences* current = this;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        checkName(name, path);
        current = &current->childSpi(std::string(name));
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return *current;
}

std::optional<std::string> Preferences::get(std::string_view key) {
    checkKey(key);
    checkNotRemoved();
    return getSpi(std::string(key));
}

std::string Preferences::get(std::string_view key, std::string_view def) {
    return get(key).value_or(std::string(def));
}

int Preferences::getInt(std::string_view key, int def) {
    const auto value = get(key);
    const auto parsed = value ? parseInt(*value) : std::nullopt;
    return parsed.value_or(def);
}

bool Preferences::getBoolean(std::string_view key, bool def) {
    const auto value = get(key);
    if (value && equalsIgnoringCase(*value, "true")) return true;
    if (value && equalsIgnoringCase(*value, "false")) return false;
    return def;
}

void Preferences::put(std::string_view key, std::string_view value) {
    checkKey(key);
    checkValue(key, value);
    checkNotRemoved();
    putSpi(std::string(key), std::string(value));
}

void Preferences::putAll(const std::vector<NodeValues>& values) {
    checkNotRemoved();
    for (const NodeValues& node : values) {
        if (node.path.starts_with('/') || node.path.ends_with('/'))
            throw std::invalid_argument("Not a relative node path: " + node.path);
        for (std::string_view rest = node.path; !rest.empty();) {
            const size_t slash = rest.find('/');
            checkName(rest.substr(0, slash), node.path);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        }
        for (const auto& [key, value] : node.entries) {
            checkKey(key);
            checkValue(key, value);
        }
    }
    putAllSpi(values);
}

void Preferences::putInt(std::string_view key, int value) {
    put(key, std::to_string(value));
}

void Preferences::putBoolean(std::string_view key, bool value) {
    put(key, value ? "true" : "false");
}

void Preferences::remove(std::string_view key) {
    checkKey(key);
    checkNotRemoved();
    removeSpi(std::string(key));
}

std::vector<std::string> Preferences::keys() {
    checkNotRemoved();
    return keysSpi();
}

std::vector<std::string> Preferences::childrenNames() {
    checkNotRemoved();
    return childrenNamesSpi();
}

void Preferences::flush() {
    flushSpi();
    if (removed_) return;
    for (Preferences* node : descendantsCreated())
        node->flushSpi();
}

void Preferences::sync() {
    checkNotRemoved();
    syncSpi();
    for (Preferences* node : descendantsCreated())
        node->syncSpi();
}

void Preferences::removeNode() {
    if (!parent_) throw std::logic_error("The root node cannot be removed");
    checkNotRemoved();
    // Deepest first, so that no node is left behind under a removed parent.
    const auto descendants = descendantsCreated();
    for (auto it = descendants.rbegin(); it != descendants.rend(); ++it) {
        (*it)->removeNodeSpi();
        (*it)->removed_ = true;
    }
    removeNodeSpi();
    removed_ = true;
    parent_->forgetChildSpi(name_);
}

void Preferences::checkNotRemoved() const {
    if (removed_) throw std::logic_error("Node " + absolutePath() + " has been removed");
}

void Preferences::checkKey(std::string_view key) const {
    if (key.size() > MAX_KEY_LENGTH) {
        throw std::invalid_argument("Key longer than 80 characters: " + std::string(key));
    }
    if (key.find('\0') != std::string_view::npos) {
        throw std::invalid_argument("Key contains the character 0");
    }
    // The settings file joins node names and keys with dots, so a dot would move the entry
    // into another node when the file is read back.
    if (key.find('.') != std::string_view::npos) {
        throw std::invalid_argument("Key contains \".\": " + std::string(key));
    }
}

void Preferences::checkValue(std::string_view key, std::string_view value) const {
    if (value.size() > MAX_VALUE_LENGTH) {
        throw std::invalid_argument("Value longer than 8192 bytes for key " + std::string(key));
    }
    if (value.find('\0') != std::string_view::npos) {
        throw std::invalid_argument("Value contains the character 0 for key " + std::string(key));
    }
}

void Preferences::checkName(std::string_view name, std::string_view path) {
    if (name.empty()) throw std::invalid_argument("Path contains \"//\": " + std::string(path));
    if (name.size() > MAX_NAME_LENGTH) {
        throw std::invalid_argument("Node name longer than 80 characters: " + std::string(name));
    }
    if (name.find('.') != std::string_view::npos) {
        throw std::invalid_argument("Node name contains \".\": " + std::string(name));
    }
}

std::vector<Preferences*> Preferences::descendantsCreated() {
    std::vector<Preferences*> nodes;
    for (const std::string& name : childrenNamesSpi()) {
        Preferences& child = childSpi(name);
        nodes.push_back(&child);
        for (Preferences* grandchild : child.descendantsCreated())
            nodes.push_back(grandchild);
    }
    return nodes;
}

}  // namespace scalino
