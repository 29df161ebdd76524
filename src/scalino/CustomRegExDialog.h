#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace scalino {

// Edits the user's own extraction expression, which replaces the instrument's. The opener shows
// it modally (exec) and afterwards compares the result with the text it put in: only OK with an
// acceptable expression (the empty one included) replaces it; Cancel, Escape and the window's
// close control leave it as it was.
class CustomRegExDialog : public QDialog {
    Q_OBJECT

public:
    // regEx: the expression to edit, UTF-8.
    CustomRegExDialog(QWidget* parent, const std::string& regEx);

    // UTF-8, for Config.
    const std::string& getRegEx() const { return regEx_; }

private:
    void okButtonActionPerformed();
    void cancelButtonActionPerformed();

    QPlainTextEdit* regExTextArea_;
    QLabel* label4_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    std::string regEx_;
};

}  // namespace scalino
