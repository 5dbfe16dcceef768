#pragma once

#include <QString>
#include <QStringList>

namespace tandemo::sim {
class VirtualRival500;
}

namespace tandemo::ui {

class TandemoApp;

// Renders the settings window at its default size once per tab, the tray menu and the virtual
// mouse window into PNGs in `folder`, with one app-controlled control held on the virtual mouse.
// Returns the files written, or empty with `error` set.
QStringList takeScreenshots(TandemoApp& app, sim::VirtualRival500& mouse, const QString& folder, QString& error);

}  // namespace tandemo::ui
