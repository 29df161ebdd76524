#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

namespace scalino {

class UpdateWorkerView;

// Asks once whether a newer version is published and tells the view: "checking.for.update",
// then "update.available" or the window's normal status text, or "update.check.failed" on any
// failure (refused address, network, time-out, HTTP error, oversized document), after which
// nothing more is said. The fetch runs asynchronously on the event loop of the thread that owns
// the worker (the GUI thread), so the window never waits for it. The view must outlive it.
class UpdateWorker : public QObject {
    Q_OBJECT

public:
    static constexpr int kConnectTimeoutMs = 5000;
    // Longest pause between two signs of progress once the request is sent.
    static constexpr int kReadTimeoutMs = 5000;
    // Bounds a server that keeps sending a trickle within the read time-out.
    static constexpr int kTotalTimeoutMs = 30000;
    static constexpr qint64 kMaxDocumentBytes = 64 * 1024;
    static constexpr int kMaxRedirects = 5;

    // remoteUrl: usually chosenUpdateUrl(); currentVersion: the running version ("VERSION");
    // language: the two-letter lower-case code of the user's locale.
    UpdateWorker(UpdateWorkerView& view, QString remoteUrl, QString currentVersion,
                 QString language, QObject* parent = nullptr);
    ~UpdateWorker() override;

    // Begins the check once control returns to the event loop; later calls do nothing.
    void start();
    bool isFinished() const { return state_ == State::Finished; }

signals:
    // After the last text was handed to the view.
    void finished();

private:
    enum class State { Idle, Started, Finished };

    void begin();
    void request(const QUrl& url);
    void redirect();
    void onMetaDataChanged();
    void onReadyRead();
    void onReplyFinished();
    void restartTimer(int milliseconds);
    void succeed();
    void fail();
    void finish(const QString& text);
    void dropReply();

    UpdateWorkerView& view_;
    const QString remoteUrl_;
    const QString currentVersion_;
    const QString language_;
    State state_ = State::Idle;
    QNetworkAccessManager* network_;
    QPointer<QNetworkReply> reply_;
    QTimer timeout_;
    QTimer totalTimeout_;
    QByteArray document_;
    int redirects_ = 0;
};

}  // namespace scalino
