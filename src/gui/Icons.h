// The app's images: its own SVG icons (resources) and the theme's standard icons.
#pragma once

#include "core/app/Prompter.h"
#include "core/drives/DriveListModel.h"

#include <QIcon>

namespace kestrava::gui {

using MountState = drives::MountState;

// The window and tray icon.
QIcon appIcon();
// The icon of a message box or balloon; null for Icon::None.
QIcon messageIcon(Icon icon);
// The row icon: 0 a local folder, 1 to 5 the cloud clients in detection order.
QIcon cloudIcon(int index);
QIcon mountStateIcon(MountState state);
// The success or failure mark beside a password field.
QIcon markIcon(bool success);

} // namespace kestrava::gui
