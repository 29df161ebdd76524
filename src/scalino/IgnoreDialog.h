#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace scalino {

// Edits the time limit and the difference of duplicate suppression. The opener shows it modally
// (exec) and afterwards compares the results with the values it put in: only OK with valid input
// replaces them, so Cancel, Escape and the window's close control leave them as they were.
class IgnoreDialog : public QDialog {
    Q_OBJECT

public:
    // The current settings' texts, UTF-8.
    IgnoreDialog(QWidget* parent, const std::string& ignoreTimeLimit,
                 const std::string& ignoreDifference);

    // UTF-8, for Config; the difference is written with a decimal point.
    const std::string& getIgnoreTimeLimit() const { return ignoreTimeLimit_; }
    const std::string& getIgnoreDifference() const { return ignoreDifference_; }

private:
    void okButtonActionPerformed();
    void cancelButtonActionPerformed();

    QLineEdit* ignoreTimeLimitTextField_;
    QLineEdit* ignoreDifferenceTextField_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    std::string ignoreTimeLimit_;
    std::string ignoreDifference_;
};

}  // namespace scalino
