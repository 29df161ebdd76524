#include "util/HyperlinkText.h"

namespace scalino {

bool HyperlinkText::containsHyperlink(std::string_view text) {
    for (std::string_view marker : {HTML, HTML_END, A_HREF, HREF_END}) {
        if (text.find(marker) == std::string_view::npos) return false;
    }
    return true;
}

std::string HyperlinkText::getPlainLink(std::string_view text) {
    if (!containsHyperlink(text)) return "";
    const auto start = text.find(A_HREF) + A_HREF.size();
    // Searched after the anchor's start, so that a stray "> before it cannot cut the address
    // out of order.
    const auto end = text.find(HREF_END, start);
    if (end == std::string_view::npos) return "";
    return std::string(text.substr(start, end - start));
}

std::string HyperlinkText::htmlIfy(std::string_view text) {
    std::string html(HTML);
    html.append(text).append(HTML_END);
    return html;
}

std::string HyperlinkText::linkIfy(std::string_view address) {
    std::string link(A_HREF);
    link.append(address).append(HREF_END).append(address).append(HREF_CLOSED);
    return link;
}

}  // namespace scalino
