#pragma once

#include <QString>

class QWidget;

// The window's modal message and question dialogs. Each blocks until the user answers; the
// object names let tests find and answer them.
namespace scalino::dialogs {

void showError(QWidget* parent, const QString& title, const QString& message);
void showWarning(QWidget* parent, const QString& title, const QString& message);
void showInformation(QWidget* parent, const QString& title, const QString& message);
// True for OK.
bool askOkCancel(QWidget* parent, const QString& title, const QString& message);
// True for Yes.
bool askYesNo(QWidget* parent, const QString& title, const QString& message);

}  // namespace scalino::dialogs
