#pragma once

#include <string>
#include <string_view>

namespace scalino {

// What the published version document says: the version for the user's language, and whether it
// is newer than the running one. The document is read with plain text search, not as XML.
class ReadRemoteUpdate {
public:
    // The element that holds the published version, suffixed "_" + language when there is one.
    static constexpr std::string_view versionTag = "version2";

    // document: the fetched text; its line ends are dropped, as the lines are joined without
    // separators. language: the two-letter lower-case code of the user's locale, or "".
    ReadRemoteUpdate(std::string_view document, std::string currentVersion, std::string language);

    const std::string& getContent() const { return content_; }
    const std::string& getCurrentVersion() const { return currentVersion_; }
    // Empty when the document holds no element for the language.
    const std::string& getRemoteVersion() const { return remoteVersion_; }
    bool newerVersionAvailable() const;

    // The text between the first "<name>" and the first "</name>" of the content, where name
    // is element + "_" + language for a non-empty language; "" when the closing tag does not
    // come after the opening one (or either is missing).
    std::string findXML(std::string_view element, std::string_view language) const;
    static std::string findXML(std::string_view content, std::string_view element,
                               std::string_view language);

    // True when remote is newer than current. A version with at most one dot is compared with
    // the other as a decimal number (2.1 is newer than 2.05); otherwise both are compared as
    // four dot-separated integers from the left. Any other shape, an empty text, a sign or
    // spaces is never newer; integers of any length are compared exactly.
    static bool compareVersions(std::string_view remote, std::string_view current);

private:
    std::string content_;
    std::string currentVersion_;
    std::string language_;
    std::string remoteVersion_;
};

}  // namespace scalino
