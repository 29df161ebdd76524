#pragma once

#include <QTextCharFormat>
#include <QTimer>
#include <QWidget>

#include <array>
#include <deque>
#include <vector>

#include "scalino/EventLogText.h"

class QPlainTextEdit;

namespace scalino {

// The event-log tab: a read-only monospaced document that keeps the newest kMaxLines lines, so
// that a balance sending all day neither slows the window nor fills the memory. New entries
// reach the document together, at most every kFlushIntervalMs: the view is drawn once for all
// of them instead of once per line. Every call is made on the GUI thread.
class EventLogPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 10000;
    static constexpr int kFlushIntervalMs = 50;
    // The character property that names a piece's style (a LogStyle), for whoever reads the
    // document back.
    static constexpr int kStyleProperty = QTextFormat::UserProperty + 1;

    explicit EventLogPanel(QWidget* parent = nullptr);

    // Appends the pieces at the end of the document, together, within kFlushIntervalMs.
    void append(const std::vector<StyledText>& pieces);
    void eventLogAppend(const QString& text, LogStyle style);
    // Writes what is waiting into the document now.
    void flush();
    QPlainTextEdit* eventLog() const { return eventLog_; }

private:
    void addStylesToDocument();
    const QTextCharFormat& style(LogStyle style) const;

    QPlainTextEdit* eventLog_;
    std::array<QTextCharFormat, 6> styles_;
    std::deque<std::vector<StyledText>> pending_;  // at most kMaxLines entries
    QTimer flushTimer_;
};

}  // namespace scalino
