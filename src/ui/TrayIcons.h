#pragma once

#include <QIcon>

namespace tandemo::ui {

// The tray's mouse icon. Connected: the icon theme's "input-mouse" when the theme has one,
// otherwise a filled mouse drawn here. Unplugged: that icon greyed with a slash across, or a
// drawn outline. Every common tray size is drawn, so the icon stays sharp.
QIcon mouseIcon(bool connected);
// The windows' icon: the connected mouse at the few sizes a window list shows. (A whole theme
// icon would have every size, up to 512 pixels, decoded and sent to the X server.)
QIcon windowIcon();

}  // namespace tandemo::ui
