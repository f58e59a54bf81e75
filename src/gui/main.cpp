#include "core/Version.h"
#include "core/app/ActivityLog.h"
#include "gui/AppText.h"
#include "gui/Application.h"
#include "gui/Icons.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrava::kProgramVersion));
    QApplication::setWindowIcon(kestrava::gui::appIcon());

    QStringList args = QApplication::arguments();
    args.removeFirst();
    kestrava::gui::Application application(kestrava::gui::parseStartSwitches(args));
    if (const auto code = application.start()) {
        return *code;
    }
    const int code = QApplication::exec();
    // However the loop ended, the drives this copy mounted are unmounted before it goes.
    application.exitProgram();
    return code;
}
