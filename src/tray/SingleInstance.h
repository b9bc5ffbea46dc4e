#pragma once

#include <QLocalServer>
#include <QObject>

// One tray application per user and runtime folder: the first start holds a lock on a file and
// listens on a local socket beside it; a later start hands its request to the first and exits.
// The lock is the kernel's (flock): it ends with the process however that ends, so there is no
// stale lock to judge, and taking it writes nothing to disk.
// Both live in XDG_RUNTIME_DIR (else TMPDIR, else /tmp) under a name holding the user id, so
// separate users, and tests with separate runtime folders, never meet.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Request
    {
        show,
        preferences
    };
    Q_ENUM(Request)

    // `flavour` keeps differently configured instances apart (the demo runs beside the real one).
    explicit SingleInstance(QString flavour = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening: true when this process is now the running instance.
    // A socket left behind by a crashed instance is removed first.
    [[nodiscard]] bool claim();

    // Gives `request` to the running instance and waits for it to confirm; false when no
    // instance answered within `timeoutMs`.
    [[nodiscard]] bool send(Request request, int timeoutMs = 3000) const;

    enum class Outcome
    {
        claimed,
        handedOver,
        noAnswer
    };
    // Claims, or else hands `request` over, retrying while another start is between taking the
    // lock and listening. `claimed`: this process runs the application.
    [[nodiscard]] Outcome claimOrHandOver(Request request, int timeoutMs = 5000);

    [[nodiscard]] QString socketPath() const;
    [[nodiscard]] QString lockPath() const;

Q_SIGNALS:
    void requested(SingleInstance::Request request);

private:
    void answer(QLocalSocket *socket);

    QString m_baseName;
    int m_lockFd = -1;
    QLocalServer m_server;
};
