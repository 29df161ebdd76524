#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>

#include "scalino/ModalAnswerer.h"

// What a person does in a window, for the window's tests: find a control by its object name,
// click it, type over a field, close the window.
namespace scalino::test {

// The child with the object name; throws when there is none.
template <class Widget>
Widget& child(QWidget& parent, const char* name) {
    auto* widget = parent.findChild<Widget*>(QLatin1String(name));
    if (widget == nullptr) throw std::runtime_error(std::string("no child named ") + name);
    return *widget;
}

// A left click on the named button.
void click(QWidget& window, const char* buttonName);

// Selects everything in the field and types over it; an empty text leaves it empty.
void typeOver(QWidget& field, const QString& text);

// Pastes the text at the field's cursor through the clipboard, as a person would paste a long
// text.
void paste(QWidget& field, const QString& text);

// What the window's close control does: the window system asks the window to close.
void closeWindow(QWidget& window);

// The ways of leaving a dialog without its OK button.
enum class Leaving { CancelButton, CloseControl, EscapeKey };
void leave(QDialog& dialog, Leaving how, const char* cancelButton = "cancelButton");

// Shows the dialog as its opener does, modally, while person acts inside it, and returns the
// dialog's result. The answerer answers the message boxes on the way; a dialog the person
// leaves open is rejected.
int runModal(QDialog& dialog, ModalAnswerer& answerer, std::function<void(QDialog&)> person);

}  // namespace scalino::test
