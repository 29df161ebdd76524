#include "scalino/QtText.h"

#include "util/ResourceBundle.h"

namespace scalino {

QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string fromQString(const QString& text) {
    return text.toStdString();
}

QString windowText(std::string_view key, const std::vector<std::string>& arguments) {
    const std::string& pattern = ResourceBundle::getBundle(kWindowBundleName).getString(key);
    if (arguments.empty()) return toQString(pattern);
    return toQString(formatMessage(pattern, arguments));
}

}  // namespace scalino
