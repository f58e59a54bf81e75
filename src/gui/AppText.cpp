#include "gui/AppText.h"

#include "core/app/StringTable.h"

#include <string>
#include <vector>

namespace kestrava::gui {

QString appText(int id, const QStringList& args)
{
    const std::string text = loadAppString(id);
    if (args.isEmpty()) {
        return QString::fromStdString(text);
    }
    std::vector<std::string> values;
    for (const QString& arg : args) {
        values.push_back(arg.toStdString());
    }
    return QString::fromStdString(formatAppString(text, values));
}

QString appTextWithoutColons(int id)
{
    return appText(id).remove(QLatin1Char(':')).trimmed();
}

} // namespace kestrava::gui
