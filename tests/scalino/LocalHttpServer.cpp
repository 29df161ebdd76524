#include "scalino/LocalHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace scalino::test {
namespace {

QByteArray statusLine(int status) {
    const char* reason = status == 200   ? "OK"
                         : status == 302 ? "Found"
                         : status == 404 ? "Not Found"
                                         : "Error";
    return "HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\n";
}

constexpr qsizetype kMaxHead = 16 * 1024;

}  // namespace

LocalHttpServer::LocalHttpServer() {
    if (!server_.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot listen on 127.0.0.1: " +
                                 server_.errorString().toStdString());
    connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
}

QString LocalHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void LocalHttpServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections_;
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            for (qsizetype end; (end = buffer->indexOf("\r\n\r\n")) >= 0;) {
                const QByteArray head = buffer->left(end + 4);
                buffer->remove(0, end + 4);
                requests_.append(head);
                if (responder_) responder_(*socket, head);
            }
            if (buffer->size() > kMaxHead) socket->abort();
        });
    }
}

LocalHttpServer::Responder LocalHttpServer::document(QByteArray body, int status,
                                                     QByteArray extraHeaders) {
    return [body, status, extraHeaders](QTcpSocket& socket, const QByteArray&) {
        socket.write(statusLine(status) + "Content-Type: text/xml\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body);
    };
}

LocalHttpServer::Responder LocalHttpServer::streamed(QByteArray body) {
    return [body](QTcpSocket& socket, const QByteArray&) {
        socket.write(statusLine(200) + "Content-Type: text/xml\r\nConnection: close\r\n\r\n" +
                     body);
        socket.disconnectFromHost();
    };
}

LocalHttpServer::Responder LocalHttpServer::silent() {
    return [](QTcpSocket&, const QByteArray&) {};
}

LocalHttpServer::Responder LocalHttpServer::redirect(QByteArray location, QByteArray extraHeaders) {
    return document({}, 302, "Location: " + location + "\r\n" + extraHeaders);
}

UnansweredPort::UnansweredPort() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot make a listening socket on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    // A queue of length 0 still holds one connection; a few more attempts make sure it is full.
    for (int i = 0; i < 3; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers_.append(filler);
    }
}

UnansweredPort::~UnansweredPort() {
    for (int filler : fillers_)
        ::close(filler);
    ::close(listener_);
}

}  // namespace scalino::test
