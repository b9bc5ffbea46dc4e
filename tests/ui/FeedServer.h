#pragma once

#include <QTcpServer>
#include <QTcpSocket>

// An update feed on 127.0.0.1: answers every request with `status` and `body`, or never
// answers at all (the check then stays in progress).
class FeedServer : public QTcpServer
{
public:
    FeedServer(int status, QByteArray body, bool silent = false)
        : m_status(status), m_body(std::move(body)), m_silent(silent)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                socket->setParent(this);
                if (m_silent)
                    continue;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write(
                        "HTTP/1.1 " + QByteArray::number(m_status) +
                        " X\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                        QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
                    socket->disconnectFromHost();
                });
            }
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
    bool m_silent;
};
