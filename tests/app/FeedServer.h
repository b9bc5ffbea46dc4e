#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A real HTTP server on 127.0.0.1 that answers every GET with the status and body it was given,
// or, once told to stay quiet, accepts connections and never answers.
class FeedServer : public QObject
{
    Q_OBJECT

public:
    FeedServer();

    void respond(int status, QByteArray body);
    void stayQuiet() { m_quiet = true; }

    // http://127.0.0.1:<port>/changelog.json
    [[nodiscard]] QUrl url() const;
    // The request lines received so far ("GET /changelog.json HTTP/1.1").
    [[nodiscard]] const QList<QByteArray> &requests() const { return m_requests; }

private:
    void accept();
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    int m_status = 200;
    QByteArray m_body;
    bool m_quiet = false;
    QList<QByteArray> m_requests;
};
