#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scalino {

// One node of a hierarchical key/value store, addressed by slash-separated paths
// ("/com/velmora/Scalino"). The public operations check their arguments and give the usual
// semantics (integers as decimal text, flags as "true"/"false", a stored text that does not
// convert gives the caller's default); a store implements the ...Spi operations. Nodes are owned
// by their parent (the root by its factory), so references to them stay valid for the tree's
// life, also after removal. Not thread-safe: one thread uses a tree.
class Preferences {
public:
    // Values for one node, named by its path relative to the node that takes them ("" for that
    // node itself, else names joined by "/", as node() takes them).
    struct NodeValues {
        std::string path;
        std::vector<std::pair<std::string, std::string>> entries;
    };

    static constexpr size_t MAX_KEY_LENGTH = 80;
    static constexpr size_t MAX_VALUE_LENGTH = 8 * 1024;
    static constexpr size_t MAX_NAME_LENGTH = 80;

    virtual ~Preferences() = default;
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    const std::string& name() const { return name_; }
    Preferences* parent() const { return parent_; }
    // "/" for the root, else "/" and the names from the root's child down, joined by "/".
    std::string absolutePath() const;

    // The node at path, absolute or relative to this node, created where missing. Throws
    // std::invalid_argument for a malformed path ("//", a trailing "/", a name over 80 chars).
    Preferences& node(std::string_view path);

    std::optional<std::string> get(std::string_view key);
    std::string get(std::string_view key, std::string_view def);
    int getInt(std::string_view key, int def);
    bool getBoolean(std::string_view key, bool def);

    // Store the value; the store decides when it reaches its backing storage.
    void put(std::string_view key, std::string_view value);
    void putInt(std::string_view key, int value);
    void putBoolean(std::string_view key, bool value);
    void remove(std::string_view key);
    // Puts every value into the node its path names and writes them to the backing storage in
    // one step: when it returns they are all stored, when it throws none is. Checks every path,
    // key and value first (std::invalid_argument); a failure of the storage throws
    // BackingStoreException. Nodes not created yet are not created; they find the values when
    // they are.
    void putAll(const std::vector<NodeValues>& values);

    std::vector<std::string> keys();
    std::vector<std::string> childrenNames();

    // Write this node and its descendants to the backing storage now, or read them from it.
    // Both throw BackingStoreException.
    void flush();
    void sync();

    // Removes this node and its descendants created so far. Further use of them throws
    // std::logic_error. The root cannot be removed.
    void removeNode();
    bool isRemoved() const { return removed_; }

protected:
    Preferences(Preferences* parent, std::string name);

    virtual void putSpi(const std::string& key, const std::string& value) = 0;
    virtual std::optional<std::string> getSpi(const std::string& key) = 0;
    virtual void removeSpi(const std::string& key) = 0;
    // Stores and writes the (checked) values all at once, or none of them.
    virtual void putAllSpi(const std::vector<NodeValues>& values) = 0;
    virtual std::vector<std::string> keysSpi() = 0;
    virtual std::vector<std::string> childrenNamesSpi() = 0;
    // The child of that name, existing or new; the store owns it.
    virtual Preferences& childSpi(const std::string& name) = 0;
    // Drops the (removed) child from the children, keeping the object alive.
    virtual void forgetChildSpi(const std::string& name) = 0;
    virtual void removeNodeSpi() = 0;
    virtual void flushSpi() = 0;
    virtual void syncSpi() = 0;

private:
    void checkNotRemoved() const;
    void checkKey(std::string_view key) const;
    void checkValue(std::string_view key, std::string_view value) const;
    static void checkName(std::string_view name, std::string_view path);
    std::vector<Preferences*> descendantsCreated();

    Preferences* parent_;
    std::string name_;
    bool removed_ = false;
};

}  // namespace scalino
