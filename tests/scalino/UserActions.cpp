#include "scalino/UserActions.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <QWindow>

namespace scalino::test {

void click(QWidget& window, const char* buttonName) {
    QTest::mouseClick(&child<QPushButton>(window, buttonName), Qt::LeftButton);
}

void typeOver(QWidget& field, const QString& text) {
    QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&field, Qt::Key_Delete);
    QTest::keyClicks(&field, text);
}

void paste(QWidget& field, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
}

void closeWindow(QWidget& window) {
    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr) << "the window is not shown";
    handle->close();
}

void leave(QDialog& dialog, Leaving how, const char* cancelButton) {
    switch (how) {
        case Leaving::CancelButton: click(dialog, cancelButton); break;
        case Leaving::CloseControl: closeWindow(dialog); break;
        case Leaving::EscapeKey: QTest::keyClick(&dialog, Qt::Key_Escape); break;
    }
}

int runModal(QDialog& dialog, ModalAnswerer& answerer, std::function<void(QDialog&)> person) {
    answerer.handleDialogs(std::move(person));
    return dialog.exec();
}

}  // namespace scalino::test
