#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// The window's one crossing between the core's UTF-8 std::string and Qt's QString, and its
// texts from the bundle "scalino.Scalino".
namespace scalino {

inline constexpr std::string_view kWindowBundleName = "scalino.Scalino";

QString toQString(std::string_view utf8);
std::string fromQString(const QString& text);

// A text of the window's bundle, with {0}, {1}, ... replaced by the arguments; a missing key
// throws MissingResourceException.
QString windowText(std::string_view key, const std::vector<std::string>& arguments = {});

}  // namespace scalino
