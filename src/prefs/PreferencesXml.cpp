#include "prefs/PreferencesXml.h"

#include <algorithm>
#include <ostream>
#include <pugixml.hpp>
#include <vector>

#include "prefs/BackingStoreException.h"
#include "util/Text.h"

namespace scalino {
namespace {

constexpr const char* kVersion = "1.0";

void appendMap(pugi::xml_node parent, Preferences& node,
               const std::function<bool(std::string_view)>& include) {
    pugi::xml_node map = parent.append_child("map");
    for (const std::string& key : node.keys()) {
        if (include && !include(key)) continue;
        pugi::xml_node entry = map.append_child("entry");
        entry.append_attribute("key") = key.c_str();
        entry.append_attribute("value") = node.get(key, "").c_str();
    }
}

// The values of one node of an imported document, with its path below the root.
struct ImportedNode {
    std::string path;
    std::vector<std::pair<std::string, std::string>> entries;
};

// Checks a parsed document against the standard form, collecting what it would import.
class DocumentReader {
public:
    explicit DocumentReader(std::string_view text) : text_(text) {}

    std::vector<ImportedNode> read(const pugi::xml_document& document) {
        const pugi::xml_node top = document.document_element();
        if (std::string_view(top.name()) != "preferences") {
            fail(top, "the document element must be <preferences>, not <" +
                          std::string(top.name()) + ">");
        }
        if (const auto version = top.attribute("EXTERNAL_XML_VERSION");
            version && std::string_view(version.value()) > kVersion) {
            fail(top, "preferences document version " + std::string(version.value()) +
                          " is not supported (1.0 is)");
        }
        std::vector<pugi::xml_node> roots = elements(top, {"root"});
        if (roots.size() != 1) fail(top, "<preferences> must hold exactly one <root>");
        const std::string_view type = roots[0].attribute("type").value();
        if (type != "user" && type != "system") {
            fail(roots[0], "<root> needs type=\"user\" or type=\"system\"");
        }
        readNode(roots[0], "");
        return nodes_;
    }

private:
    void readNode(pugi::xml_node element, const std::string& path) {
        ImportedNode node{path, {}};
        for (pugi::xml_node child : elements(element, {"map", "node"})) {
            if (std::string_view(child.name()) == "map") readMap(child, node);
        }
        nodes_.push_back(std::move(node));
        for (pugi::xml_node child : elements(element, {"map", "node"})) {
            if (std::string_view(child.name()) == "node")
                readNode(child, path + "/" + nodeName(child));
        }
    }

    void readMap(pugi::xml_node map, ImportedNode& node) {
        for (pugi::xml_node entry : elements(map, {"entry"})) {
            const auto key = entry.attribute("key");
            const auto value = entry.attribute("value");
            if (!key || !value) fail(entry, "<entry> needs a key and a value attribute");
            checkText(entry, key.value(), Preferences::MAX_KEY_LENGTH, "key");
            checkText(entry, value.value(), Preferences::MAX_VALUE_LENGTH, "value");
            node.entries.emplace_back(key.value(), value.value());
        }
    }

    std::string nodeName(pugi::xml_node element) {
        const std::string name = element.attribute("name").value();
        if (name.empty() || name.find('/') != std::string::npos ||
            name.size() > Preferences::MAX_NAME_LENGTH) {
            fail(element, "<node> needs a name of 1 to 80 characters without \"/\"");
        }
        checkText(element, name, Preferences::MAX_NAME_LENGTH, "name");
        return name;
    }

    void checkText(pugi::xml_node element, std::string_view text, size_t limit, const char* what) {
        if (text.size() > limit) {
            fail(element, std::string(what) + " longer than " + std::to_string(limit) + " bytes");
        }
        if (!decodeUtf8(text)) fail(element, std::string(what) + " is not valid UTF-8");
    }

    // The child elements, which must all be among the allowed names; text other than
    // white space is refused too.
    std::vector<pugi::xml_node> elements(pugi::xml_node parent,
                                         std::initializer_list<std::string_view> allowed) {
        std::vector<pugi::xml_node> found;
        for (pugi::xml_node child : parent.children()) {
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
                const std::string_view text = child.value();
                if (text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
                    fail(child, "unexpected text inside <" + std::string(parent.name()) + ">");
                }
                continue;
            }
            if (child.type() != pugi::node_element) continue;
            if (std::find(allowed.begin(), allowed.end(), child.name()) == allowed.end()) {
                fail(child, "unexpected element <" + std::string(child.name()) + "> inside <" +
                                parent.name() + ">");
            }
            found.push_back(child);
        }
        return found;
    }

    [[noreturn]] void fail(pugi::xml_node where, const std::string& what) {
        throw InvalidPreferencesFormatException(what + " (line " +
                                                std::to_string(lineOf(where.offset_debug())) + ")");
    }

    int lineOf(std::ptrdiff_t offset) const {
        if (offset < 0) return 1;
        const auto end = text_.begin() + std::min<std::ptrdiff_t>(offset, text_.size());
        return 1 + static_cast<int>(std::count(text_.begin(), end, '\n'));
    }

    std::string_view text_;
    std::vector<ImportedNode> nodes_;
};

std::pair<int, int> lineAndColumn(std::string_view text, std::ptrdiff_t offset) {
    int line = 1, column = 1;
    for (std::ptrdiff_t i = 0; i < offset && i < static_cast<std::ptrdiff_t>(text.size()); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

}  // namespace

void exportNode(Preferences& node, std::ostream& out,
                const std::function<bool(std::string_view key)>& include) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    declaration.append_attribute("standalone") = "no";
    document.append_child(pugi::node_doctype)
        .set_value("preferences SYSTEM \"http://java.sun.com/dtd/preferences.dtd\"");
    pugi::xml_node top = document.append_child("preferences");
    top.append_attribute("EXTERNAL_XML_VERSION") = kVersion;
    pugi::xml_node element = top.append_child("root");
    element.append_attribute("type") = "user";

    std::vector<Preferences*> ancestors;
    for (Preferences* p = node.parent(); p; p = p->parent())
        ancestors.insert(ancestors.begin(), p);
    for (Preferences* ancestor : ancestors) {
        if (ancestor->parent()) {
            element = element.append_child("node");
            element.append_attribute("name") = ancestor->name().c_str();
        }
        element.append_child("map");
    }
    if (node.parent()) {
        element = element.append_child("node");
        element.append_attribute("name") = node.name().c_str();
    }
    appendMap(element, node, include);
    document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    if (!out) throw BackingStoreException("Cannot write the preferences document");
}

void importPreferences(std::string_view text, Preferences& root) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_doctype);
    if (!parsed) {
        const auto [line, column] = lineAndColumn(text, parsed.offset);
        throw InvalidPreferencesFormatException(
            std::string("not a well-formed XML document: ") + parsed.description() + " (line " +
            std::to_string(line) + ", column " + std::to_string(column) + ")");
    }
    const std::vector<ImportedNode> nodes = DocumentReader(text).read(document);
    for (const ImportedNode& imported : nodes) {
        Preferences& node = imported.path.empty() ? root : root.node(imported.path.substr(1));
        for (const auto& [key, value] : imported.entries)
            node.put(key, value);
    }
    for (const ImportedNode& imported : nodes) {
        Preferences& node = imported.path.empty() ? root : root.node(imported.path.substr(1));
        // Each put already tried to write; this reports a failure the puts could only log.
        if (!imported.entries.empty()) node.flush();
        node.sync();
    }
}

}  // namespace scalino
