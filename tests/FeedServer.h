#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// An update feed on 127.0.0.1. It answers every request with `status` and `body`; or, silent,
// never answers (the check stays in progress until its deadline); or, dripping, sends headers and
// then a byte every 0.2 s; or, flooding, a body of 1 GiB as fast as the client reads.
class FeedServer : public QTcpServer
{
public:
    enum class Mode
    {
        answer,
        silent,
        drip,
        flood
    };
    Mode mode = Mode::answer;
    QList<QByteArray> requests; // the request lines received, in order
    qint64 sent = 0;            // body bytes sent while dripping or flooding

    explicit FeedServer(int status = 200, QByteArray body = {}, Mode mode = Mode::answer)
        : mode(mode), m_status(status), m_body(std::move(body))
    {
        if (!listen(QHostAddress::LocalHost))
            qFatal("FeedServer: cannot listen on 127.0.0.1");
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
        });
    }

    // What the following requests get.
    void answer(int status, QByteArray body)
    {
        m_status = status;
        m_body = std::move(body);
    }

    [[nodiscard]] QByteArray url() const
    {
        return "http://127.0.0.1:" + QByteArray::number(serverPort()) + "/changelog.json";
    }

private:
    int m_status;
    QByteArray m_body;

    void read(QTcpSocket *socket)
    {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine();
            if (line.startsWith("GET "))
                requests.append(line.trimmed());
            if (line != "\r\n" || mode == Mode::silent)
                continue;
            if (mode == Mode::answer) {
                socket->write("HTTP/1.1 " + QByteArray::number(m_status) +
                              " Feed\r\nContent-Type: application/json\r\nContent-Length: " +
                              QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
                socket->disconnectFromHost();
            } else {
                socket->write("HTTP/1.1 200 Feed\r\nContent-Length: 1073741824\r\n\r\n");
                sendMore(socket);
            }
        }
    }
    void sendMore(QTcpSocket *socket)
    {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (mode == Mode::drip) {
            sent += socket->write(" ");
            QTimer::singleShot(200, socket, [this, socket] { sendMore(socket); });
        } else if (sent < (qint64(1) << 30)) {
            sent += socket->write(QByteArray(1 << 16, ' '));
            QObject::connect(
                socket, &QTcpSocket::bytesWritten, socket,
                [this, socket] {
                    if (socket->bytesToWrite() == 0)
                        sendMore(socket);
                },
                Qt::SingleShotConnection);
        }
    }
};
