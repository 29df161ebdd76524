#include "scalino/XkbLayoutDialog.h"

#include <QInputDialog>

#include <fstream>
#include <string_view>

#include "config/ConfigHelper.h"
#include "scalino/MessageDialogs.h"
#include "scalino/QtText.h"

namespace scalino {
namespace {

// The file is read by a shell: NAME=value or NAME="value", comments after '#'.
std::string shellValue(std::string_view assigned) {
    const size_t end = assigned.find_last_not_of(" \t\r");
    assigned = assigned.substr(0, end == std::string_view::npos ? 0 : end + 1);
    if (assigned.size() >= 2 && (assigned.front() == '"' || assigned.front() == '\'') &&
        assigned.back() == assigned.front()) {
        assigned = assigned.substr(1, assigned.size() - 2);
    }
    return std::string(assigned);
}

// A desktop may list several layouts to switch between; the first is the one it starts with.
std::string firstListed(const std::string& list) {
    return list.substr(0, list.find(','));
}

}  // namespace

std::string systemXkbLayout(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string layout, variant, line;
    while (std::getline(in, line)) {
        const std::string_view text(line);
        const size_t start = text.find_first_not_of(" \t");
        if (start == std::string_view::npos || text[start] == '#') continue;
        const std::string_view assignment = text.substr(start);
        if (assignment.starts_with("XKBLAYOUT=")) {
            layout = firstListed(shellValue(assignment.substr(10)));
        } else if (assignment.starts_with("XKBVARIANT=")) {
            variant = firstListed(shellValue(assignment.substr(11)));
        }
    }
    if (layout.empty()) return "";
    const std::string named = variant.empty() ? layout : layout + "(" + variant + ")";
    return ConfigHelper::XkbLayout::isValid(named) ? named : "";
}

// An empty name would leave the layout to the X server that is not there, so it is refused too.
std::optional<std::string> askXkbLayout(QWidget* parent, const std::string& proposal) {
    std::string answer = proposal;
    for (;;) {
        QInputDialog dialog(parent);
        dialog.setObjectName("xkbLayoutDialog");
        dialog.setWindowTitle(windowText("XkbLayoutDialog.this.title"));
        dialog.setLabelText(windowText("XkbLayoutDialog.label.text"));
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setTextValue(toQString(answer));
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        answer = fromQString(dialog.textValue().trimmed());
        if (!answer.empty() && ConfigHelper::XkbLayout::isValid(answer)) return answer;
        dialogs::showError(parent, windowText("error"), windowText("error.xkb.layout.required"));
    }
}

}  // namespace scalino
