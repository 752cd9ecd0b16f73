#pragma once
// The window's pictures, drawn for this program as SVG and built into it: the four agent-state
// pictures (16x16), the eight toolbar pictures and the application icon.

#include <QIcon>
#include <QString>

namespace Pictures {

// State 1..4 (normal, warning, alarm, down); any other value gives the down picture, since
// a state nobody understands is no reason to look healthy.
QIcon AgentState(int state);
// Toolbar pictures by name: add, delete, rescan, notification, addressbooks, setup, about,
// exit.
QIcon Tool(const QString& name);
// The "Notification" button while notification is off: the same picture faded, still
// clickable.
QIcon Indeterminate(const QIcon& icon, int size);
QIcon Application();

} // namespace Pictures
