#include "scalino/EventLogPanel.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "scalino/QtText.h"

namespace scalino {

EventLogPanel::EventLogPanel(QWidget* parent) : QWidget(parent), eventLog_(new QPlainTextEdit) {
    setObjectName("eventLogPanel");
    eventLog_->setObjectName("eventLog");
    eventLog_->setReadOnly(true);
    eventLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // One block more than lines: the document always ends with the empty block after the last
    // newline.
    eventLog_->setMaximumBlockCount(kMaxLines + 1);
    // An undo history would keep every line ever shown.
    eventLog_->document()->setUndoRedoEnabled(false);
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    eventLog_->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(eventLog_);
    addStylesToDocument();
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &EventLogPanel::flush);
}

void EventLogPanel::addStylesToDocument() {
    QTextCharFormat base;
    base.setForeground(palette().color(QPalette::Text));
    auto derived = [&](LogStyle style) {
        QTextCharFormat format = base;
        format.setProperty(kStyleProperty, static_cast<int>(style));
        return format;
    };
    styles_[static_cast<size_t>(LogStyle::Default)] = derived(LogStyle::Default);
    styles_[static_cast<size_t>(LogStyle::Regular)] = derived(LogStyle::Regular);
    QTextCharFormat unknown = derived(LogStyle::Unknown);
    unknown.setForeground(QColor(0x8a, 0x5a, 0x00));
    styles_[static_cast<size_t>(LogStyle::Unknown)] = unknown;
    QTextCharFormat important = derived(LogStyle::Important);
    important.setForeground(QColor(0xc0, 0x1c, 0x28));
    important.setFontWeight(QFont::Bold);
    styles_[static_cast<size_t>(LogStyle::Important)] = important;
    QTextCharFormat typed = derived(LogStyle::Typed);
    typed.setForeground(QColor(0x1a, 0x7f, 0x37));
    typed.setFontWeight(QFont::Bold);
    styles_[static_cast<size_t>(LogStyle::Typed)] = typed;
    QTextCharFormat ignored = derived(LogStyle::Ignored);
    ignored.setForeground(QColor(0x80, 0x80, 0x80));
    styles_[static_cast<size_t>(LogStyle::Ignored)] = ignored;
}

const QTextCharFormat& EventLogPanel::style(LogStyle style) const {
    return styles_[static_cast<size_t>(style)];
}

void EventLogPanel::append(const std::vector<StyledText>& pieces) {
    pending_.push_back(pieces);
    // Entries beyond what the document keeps would only push each other out of it.
    if (pending_.size() > static_cast<size_t>(kMaxLines)) pending_.pop_front();
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void EventLogPanel::flush() {
    flushTimer_.stop();
    if (pending_.empty()) return;
    QScrollBar* bar = eventLog_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(eventLog_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const auto& entry : pending_) {
        for (const StyledText& piece : entry)
            cursor.insertText(toQString(piece.text), style(piece.style));
    }
    cursor.endEditBlock();
    pending_.clear();
    // Follows new lines unless the user scrolled up to read older ones.
    if (atEnd) bar->setValue(bar->maximum());
}

void EventLogPanel::eventLogAppend(const QString& text, LogStyle logStyle) {
    append({{fromQString(text), logStyle}});
}

}  // namespace scalino
