#pragma once

#include <string>
#include <string_view>

namespace scalino {

// Link texts as labels show them: the whole text wrapped in <html>...</html> with the address
// as an anchor. The window's link operations build on these.
class HyperlinkText {
public:
    static constexpr std::string_view HTML = "<html>";
    static constexpr std::string_view HTML_END = "</html>";
    static constexpr std::string_view A_HREF = "<a href=\"";
    static constexpr std::string_view HREF_END = "\">";
    static constexpr std::string_view HREF_CLOSED = "</a>";

    // True when the text holds all of HTML, HTML_END, A_HREF and HREF_END, anywhere.
    static bool containsHyperlink(std::string_view text);
    // The address of the first anchor of a hyperlink text: from the end of the first A_HREF to
    // the HREF_END after it. "" for any other text.
    static std::string getPlainLink(std::string_view text);
    static std::string htmlIfy(std::string_view text);
    // An anchor to the address that shows the address itself.
    static std::string linkIfy(std::string_view address);
};

}  // namespace scalino
