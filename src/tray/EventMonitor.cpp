#include "tray/EventMonitor.h"

#include "tray/PanelWindowing.h"

EventMonitor::EventMonitor(std::function<void()> handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler))
{}

EventMonitor::~EventMonitor()
{
    stop();
}

void EventMonitor::start()
{
    if (!m_monitor)
        m_monitor = PanelWindowing::watchGlobalPresses(m_handler);
}

void EventMonitor::stop()
{
    m_monitor.reset();
}
