#include "prefs/PreferencesXml.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <ostream>
#include <pugixml.hpp>
#include <vector>

#include "prefs/BackingStoreException.h"
#include "prefs/PreferencesFile.h"
#include "prefs/WholeFile.h"
#include "util/Decimal.h"
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

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The code of a character reference's digits ("65" or "x41"), or none when they are not one.
std::optional<char32_t> characterCode(std::string_view digits) {
    const bool hex = digits.starts_with('x');
    if (hex) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    char32_t code = 0;
    for (char c : digits) {
        const int digit = c >= '0' && c <= '9'          ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        if (digit < 0) return std::nullopt;
        code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    return code;
}

// A document version is a number, compared as one: "1.0" and "01.00" are supported, "09" is
// not. Says what is wrong, or nothing.
std::optional<std::string> versionProblem(std::string_view version) {
    const size_t point = version.find('.');
    const std::string_view whole = version.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view("0") : version.substr(point + 1);
    auto isDigits = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!isDigits(whole) || !isDigits(fraction)) {
        return "preferences document version \"" + std::string(version) + "\" is not a number";
    }
    const Decimal number = *Decimal::parse(std::string(whole) + "." + std::string(fraction));
    if (number.compareTo(Decimal(10, 1)) > 0) {
        return "preferences document version " + std::string(version) +
               " is not supported (1.0 is)";
    }
    return std::nullopt;
}

// Checks a parsed document against the standard form, collecting what it would import. The
// document is parsed without entity decoding; this reader decodes references itself, so that
// one naming a character no setting can hold (&#0;) is refused instead of cutting the text.
class DocumentReader {
public:
    explicit DocumentReader(std::string_view text) : text_(text) {}

    std::vector<Preferences::NodeValues> read(const pugi::xml_document& document) {
        const pugi::xml_node top = document.document_element();
        if (std::string_view(top.name()) != "preferences") {
            fail(top, "the document element must be <preferences>, not <" +
                          std::string(top.name()) + ">");
        }
        if (const auto version = top.attribute("EXTERNAL_XML_VERSION")) {
            if (auto problem = versionProblem(decoded(top, version.value(), "version")))
                fail(top, *problem);
        }
        std::vector<pugi::xml_node> roots = elements(top, {"root"});
        if (roots.size() != 1) fail(top, "<preferences> must hold exactly one <root>");
        const std::string type = decoded(roots[0], roots[0].attribute("type").value(), "type");
        if (type != "user" && type != "system") {
            fail(roots[0], "<root> needs type=\"user\" or type=\"system\"");
        }
        readTree(roots[0]);
        return std::move(nodes_);
    }

private:
    // Visits the nodes in document order without recursion: how deep a document nests must not
    // decide how deep the stack grows. path_ holds the current node's path; the lengths of its
    // ancestors' paths allow going back up.
    void readTree(pugi::xml_node root) {
        std::vector<size_t> pathLengths;
        pugi::xml_node current = root;
        for (;;) {
            readNode(current);
            pugi::xml_node next = current.child("node");
            if (next && pathLengths.size() == kMaxDocumentDepth) {
                fail(next, "<node> elements nested deeper than " +
                               std::to_string(kMaxDocumentDepth) +
                               " levels; no settings path is that deep");
            }
            while (!next && current != root) {
                path_.resize(pathLengths.back());
                pathLengths.pop_back();
                next = current.next_sibling("node");
                if (!next) current = current.parent();
            }
            if (!next) return;
            pathLengths.push_back(path_.size());
            if (!path_.empty()) path_ += '/';
            path_ += nodeName(next);
            current = next;
        }
    }

    void readNode(pugi::xml_node element) {
        Preferences::NodeValues node{path_, {}};
        for (pugi::xml_node child : elements(element, {"map", "node"})) {
            if (std::string_view(child.name()) == "map") readMap(child, node);
        }
        if (!node.entries.empty()) nodes_.push_back(std::move(node));
    }

    void readMap(pugi::xml_node map, Preferences::NodeValues& node) {
        for (pugi::xml_node entry : elements(map, {"entry"})) {
            const auto key = entry.attribute("key");
            const auto value = entry.attribute("value");
            if (!key || !value) fail(entry, "<entry> needs a key and a value attribute");
            std::string keyText = decoded(entry, key.value(), "key");
            std::string valueText = decoded(entry, value.value(), "value");
            checkText(entry, keyText, Preferences::MAX_KEY_LENGTH, "key");
            // The settings file separates nodes and keys with dots.
            if (keyText.find('.') != std::string::npos)
                fail(entry, "the key \"" + keyText + "\" holds \".\", which a setting's key cannot");
            checkText(entry, valueText, Preferences::MAX_VALUE_LENGTH, "value");
            // Bounds the memory a document can take, however its paths repeat.
            stored_ += node.path.size() + keyText.size() + valueText.size();
            if (stored_ > PreferencesFile::kMaxFileBytes) {
                fail(entry, "the document holds more than the " +
                                sizeText(PreferencesFile::kMaxFileBytes) +
                                " of settings a settings file may hold");
            }
            node.entries.emplace_back(std::move(keyText), std::move(valueText));
        }
    }

    std::string nodeName(pugi::xml_node element) {
        const std::string name = decoded(element, element.attribute("name").value(), "name");
        if (name.empty() || name.find_first_of("/.") != std::string::npos ||
            name.size() > Preferences::MAX_NAME_LENGTH) {
            fail(element, "<node> needs a name of 1 to 80 characters without \"/\" or \".\"");
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

    // The text with its references (&lt; &gt; &amp; &apos; &quot; and character references)
    // replaced by their characters. Any other "&" is refused: an entity the document declares
    // is never expanded, nor taken as text.
    std::string decoded(pugi::xml_node element, std::string_view raw, const char* what) {
        std::string text;
        text.reserve(raw.size());
        for (size_t i = 0; i < raw.size();) {
            if (raw[i] != '&') {
                text += raw[i++];
                continue;
            }
            const size_t end = raw.find(';', i);
            if (end == std::string_view::npos || end - i > 12) {
                fail(element, std::string(what) + " holds an \"&\" that starts no reference; " +
                                  "write it as &amp;");
            }
            const std::string_view name = raw.substr(i + 1, end - i - 1);
            i = end + 1;
            static constexpr std::pair<std::string_view, char> kEntities[] = {
                {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
            const auto* entity = std::find_if(std::begin(kEntities), std::end(kEntities),
                                              [&](const auto& e) { return e.first == name; });
            if (entity != std::end(kEntities)) {
                text += entity->second;
                continue;
            }
            const std::string reference = "&" + std::string(name) + ";";
            if (!name.starts_with('#')) {
                fail(element, std::string(what) + " holds the entity reference " + reference +
                                  ", which is not read; only &lt; &gt; &amp; &apos; &quot; and "
                                  "character references are");
            }
            const auto code = characterCode(name.substr(1));
            if (!code)
                fail(element, std::string(what) + " holds a malformed reference " + reference);
            if (*code == 0 || *code > 0x10FFFF || (*code >= 0xD800 && *code < 0xE000)) {
                fail(element, std::string(what) + " holds the character reference " + reference +
                                  ", a character no setting can hold");
            }
            appendUtf8(text, *code);
        }
        return text;
    }

    // The child elements, which must all be among the allowed names; text other than
    // white space is refused too.
    std::vector<pugi::xml_node> elements(pugi::xml_node parent,
                                         std::initializer_list<std::string_view> allowed) {
        std::vector<pugi::xml_node> found;
        for (pugi::xml_node child : parent.children()) {
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
                const std::string text = child.type() == pugi::node_pcdata
                                             ? decoded(child, child.value(), "text")
                                             : std::string(child.value());
                if (!std::all_of(text.begin(), text.end(), isXmlSpace)) {
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
    std::string path_;
    size_t stored_ = 0;
    std::vector<Preferences::NodeValues> nodes_;
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

void importPreferences(
    std::string_view text, Preferences& root,
    const std::function<void(const std::vector<Preferences::NodeValues>&)>& check) {
    if (text.size() > kMaxDocumentBytes) {
        throw InvalidPreferencesFormatException("the document is larger than " +
                                                sizeText(kMaxDocumentBytes) +
                                                ", which no preferences document is");
    }
    pugi::xml_document document;
    // Entities are decoded by the reader, which refuses what a setting cannot hold.
    const pugi::xml_parse_result parsed =
        document.load_buffer(text.data(), text.size(),
                             (pugi::parse_default & ~pugi::parse_escapes) | pugi::parse_doctype);
    if (!parsed) {
        const auto [line, column] = lineAndColumn(text, parsed.offset);
        throw InvalidPreferencesFormatException(
            std::string("not a well-formed XML document: ") + parsed.description() + " (line " +
            std::to_string(line) + ", column " + std::to_string(column) + ")");
    }
    // The parser takes a NUL byte for the end of the text: what follows would be lost unseen.
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos &&
        (parsed.encoding == pugi::encoding_utf8 || parsed.encoding == pugi::encoding_latin1)) {
        const auto [line, column] = lineAndColumn(text, static_cast<std::ptrdiff_t>(nul));
        throw InvalidPreferencesFormatException("the document holds the character 0 (line " +
                                                std::to_string(line) + ", column " +
                                                std::to_string(column) + ")");
    }
    const std::vector<Preferences::NodeValues> values = DocumentReader(text).read(document);
    if (check) check(values);
    root.putAll(values);
}

}  // namespace scalino
