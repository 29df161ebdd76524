#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace scalino::test {

// An HTTP/1.1 server on 127.0.0.1 in the test's own event loop: each request head it receives
// is kept and answered by the responder the test chose.
class LocalHttpServer : public QObject {
    Q_OBJECT

public:
    using Responder = std::function<void(QTcpSocket& socket, const QByteArray& head)>;

    LocalHttpServer();

    quint16 port() const { return server_.serverPort(); }
    QString url(const QString& path = QStringLiteral("/version.xml")) const;
    void setResponder(Responder responder) { responder_ = std::move(responder); }

    int connections() const { return connections_; }
    const QList<QByteArray>& requests() const { return requests_; }

    // A complete response with Content-Length; extraHeaders end with "\r\n" each.
    static Responder document(QByteArray body, int status = 200, QByteArray extraHeaders = {});
    // The body without Content-Length, ended by closing the connection.
    static Responder streamed(QByteArray body);
    // Reads the request and never answers.
    static Responder silent();
    static Responder redirect(QByteArray location, QByteArray extraHeaders = {});

private:
    void accept();

    QTcpServer server_;
    Responder responder_;
    int connections_ = 0;
    QList<QByteArray> requests_;
};

// A port on 127.0.0.1 that takes no new connection: its listening socket's queue is full and
// never accepted from, so the kernel drops further connection attempts unanswered.
class UnansweredPort {
public:
    UnansweredPort();
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;

    quint16 port() const { return port_; }

private:
    int listener_ = -1;
    QList<int> fillers_;
    quint16 port_ = 0;
};

}  // namespace scalino::test
