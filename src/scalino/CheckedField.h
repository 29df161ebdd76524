#pragma once

#include <QLineEdit>

#include <functional>
#include <string>
#include <string_view>

namespace scalino {

// A text field whose text is checked when it is about to lose the keyboard focus and when the
// settings are gathered: a valid text is stored, an invalid one gets the field's error dialog,
// changes nothing and takes the focus back into the field. An empty text is valid.
class CheckedField : public QLineEdit {
    Q_OBJECT
public:
    // The text as the setting takes it (a decimal comma made a point, for one).
    using Normalise = std::function<std::string(const std::string&)>;
    using Check = std::function<bool(std::string_view)>;
    using Store = std::function<void(const std::string&)>;

    CheckedField(const QString& name, std::string errorKey, Check check, Store store,
                 Normalise normalise = {});

    // Checks and stores the text; on an invalid text shows the error and returns false.
    bool verify();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::string errorKey_;
    Check check_;
    Store store_;
    Normalise normalise_;
};

}  // namespace scalino
