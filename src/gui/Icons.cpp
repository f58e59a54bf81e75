#include "gui/Icons.h"

#include "gui/DriveTableModel.h"

#include <QApplication>
#include <QStyle>

// The images are built into the static library, whose resources must be registered by hand.
static void registerKestravaResources()
{
    Q_INIT_RESOURCE(kestrava);
}

namespace kestrava::gui {
namespace {

QIcon resourceIcon(const QString& path)
{
    static const bool registered = [] {
        registerKestravaResources();
        return true;
    }();
    (void)registered;
    return QIcon(path);
}

QIcon standard(QStyle::StandardPixmap pixmap)
{
    return QApplication::style()->standardIcon(pixmap);
}

} // namespace

QIcon appIcon()
{
    return resourceIcon(QStringLiteral(":/icons/kestrava.svg"));
}

QIcon messageIcon(Icon icon)
{
    switch (icon) {
    case Icon::Error:
        return standard(QStyle::SP_MessageBoxCritical);
    case Icon::Warning:
        return standard(QStyle::SP_MessageBoxWarning);
    case Icon::Information:
        return standard(QStyle::SP_MessageBoxInformation);
    case Icon::Question:
        return standard(QStyle::SP_MessageBoxQuestion);
    case Icon::None:
        break;
    }
    return {};
}

QIcon cloudIcon(int index)
{
    if (index < 1 || index > 5) {
        return resourceIcon(QStringLiteral(":/icons/folder.svg"));
    }
    return resourceIcon(QStringLiteral(":/icons/cloud%1.svg").arg(index));
}

QIcon mountStateIcon(MountState state)
{
    switch (state) {
    case MountState::Mounted:
        return resourceIcon(QStringLiteral(":/icons/mounted.svg"));
    case MountState::NotMounted:
        return resourceIcon(QStringLiteral(":/icons/unmounted.svg"));
    case MountState::FolderMissing:
        return resourceIcon(QStringLiteral(":/icons/error.svg"));
    }
    return {};
}

QIcon markIcon(bool success)
{
    return resourceIcon(success ? QStringLiteral(":/icons/mark-ok.svg")
                                : QStringLiteral(":/icons/mark-fail.svg"));
}

} // namespace kestrava::gui
