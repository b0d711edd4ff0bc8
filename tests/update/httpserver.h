#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A small HTTP/1.0 server on 127.0.0.1 for the tests: each path answers with a chosen status
// and body; "cut" announces more bytes than it sends and then closes the connection; "endless"
// announces no length and sends without end, as fast as the client takes it; "trickleMs" sends
// one more byte every so many milliseconds; "announced" replaces the announced length. A route
// with "raw" sends those bytes instead of a head and body, then "repeat" without end: as fast as
// the client takes it, or once every trickleMs.
class TestHttpServer : public QObject {
public:
    struct Route {
        int status = 200;
        QByteArray body;
        bool cut = false;
        QByteArray location;  // for redirects
        bool endless = false;
        int trickleMs = 0;
        qint64 announced = -1;
        QByteArray raw = {};
        QByteArray repeat = {};
    };

    TestHttpServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                serve(s);
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    void close() { m_server.close(); }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(port()); }
    void route(const QByteArray &path, const Route &r) { m_routes[path] = r; }
    // The answer to a request for part of the path (a Range header), as updaters ask for a
    // database's header before the whole file.
    void rangeRoute(const QByteArray &path, const Route &r) { m_rangeRoutes[path] = r; }
    // Extra header lines ("Name: value\r\n" each) sent with a path's answer.
    void extraHeaders(const QByteArray &path, const QByteArray &lines) { m_headers[path] = lines; }
    int hits(const QByteArray &path) const { return m_hits.value(path); }
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket *socket) {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            m_buffers[socket] += socket->readAll();
            const QByteArray &req = m_buffers[socket];
            if (!req.contains("\r\n\r\n"))
                return;
            requests << req;
            QByteArray target = req.split(' ').value(1);
            // A proxied request names the whole URL.
            if (target.startsWith("http://"))
                target = target.mid(target.indexOf('/', 7));
            m_hits[target]++;
            const bool ranged = req.contains("\r\nRange:") || req.contains("\r\nrange:");
            const Route r = ranged && m_rangeRoutes.contains(target)
                                ? m_rangeRoutes.value(target)
                                : m_routes.value(target, Route{404, "not found", false, {}});
            if (!r.raw.isEmpty()) {
                socket->write(r.raw);
                m_buffers.remove(socket);
                if (r.repeat.isEmpty())
                    return;  // held open, silent
                if (r.trickleMs > 0)
                    return trickle(socket, r.trickleMs, r.repeat);
                return sendWithoutEnd(socket, r.repeat);
            }
            QByteArray head = "HTTP/1.0 " + QByteArray::number(r.status) + " X\r\n";
            const qint64 announced = r.announced >= 0 ? r.announced
                                     : r.cut          ? r.body.size() * 2
                                                      : r.body.size();
            if (!r.endless)
                head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
            if (!r.location.isEmpty())
                head += "Location: " + r.location + "\r\n";
            head += m_headers.value(target);
            head += "Connection: close\r\n\r\n";
            socket->write(head + r.body);
            m_buffers.remove(socket);
            if (r.endless)
                return sendWithoutEnd(socket);
            if (r.trickleMs > 0)
                return trickle(socket, r.trickleMs);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    // Writes more whenever little is left to send: fast, and never piling up here.
    static void sendWithoutEnd(QTcpSocket *socket, const QByteArray &unit = "e") {
        socket->disconnect(socket);
        const QByteArray chunk = unit.repeated(qMax<qsizetype>(1, 64 * 1024 / unit.size()));
        auto more = [socket, chunk] {
            while (socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() < 4 * chunk.size())
                socket->write(chunk);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        more();
    }
    static void trickle(QTcpSocket *socket, int intervalMs, const QByteArray &unit = "t") {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, unit] { socket->write(unit); });
        timer->start(intervalMs);
    }

    QTcpServer m_server;
    QHash<QByteArray, Route> m_routes;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, QByteArray> m_headers;
    QHash<QByteArray, Route> m_rangeRoutes;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
