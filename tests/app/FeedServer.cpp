#include "FeedServer.h"

#include <QHostAddress>

FeedServer::FeedServer()
{
    if (!m_server.listen(QHostAddress::LocalHost))
        qFatal("FeedServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    connect(&m_server, &QTcpServer::newConnection, this, &FeedServer::accept);
}

void FeedServer::respond(int status, QByteArray body)
{
    m_status = status;
    m_body = std::move(body);
    m_quiet = false;
}

QUrl FeedServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/changelog.json").arg(m_server.serverPort()));
}

void FeedServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
            received->append(socket->readAll());
            if (!received->contains("\r\n\r\n"))
                return;
            m_requests.append(received->left(received->indexOf("\r\n")));
            received->clear();
            if (!m_quiet)
                serve(socket);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void FeedServer::serve(QTcpSocket *socket)
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(m_status) + " Feed\r\n";
    response += "Content-Type: application/json\r\n";
    response += "Content-Length: " + QByteArray::number(m_body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    response += m_body;
    socket->write(response);
    socket->disconnectFromHost();
}
