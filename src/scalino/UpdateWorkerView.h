#pragma once

#include <QString>

namespace scalino {

// Where the update check reports: the main window, which shows each text in its status line.
// Called on the GUI thread only.
class UpdateWorkerView {
public:
    virtual ~UpdateWorkerView() = default;
    virtual void setText(const QString& text) = 0;
};

}  // namespace scalino
