#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

// Whether a system tray can show our icon. Qt decides once per process, when the first tray
// icon is made, whether to talk to a StatusNotifierItem host or to embed into an XEmbed tray,
// and at login the desktop's panel is often not up yet: so the icon is made only once one of
// them is there, or never, when none turns up in time (plain GNOME has no tray at all).
class TrayPresence : public QObject
{
    Q_OBJECT
public:
    enum class Kind
    {
        none,
        embedded,
        statusNotifier
    };
    Q_ENUM(Kind)

    explicit TrayPresence(QObject *parent = nullptr);

    // What is there now.
    [[nodiscard]] static Kind current();

    // Emits `decided` once: at once when a tray is there, else when one appears within
    // `limit`, else with `none` after it.
    void wait(std::chrono::milliseconds limit);

Q_SIGNALS:
    void decided(TrayPresence::Kind kind);

private:
    void poll();

    QTimer m_poll;
    std::chrono::steady_clock::time_point m_giveUpAt;
};
