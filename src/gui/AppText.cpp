#include "gui/AppText.h"

#include "core/app/StringTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>
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

namespace {

constexpr const char* kTextIdProperty = "kestravaTextId";
constexpr const char* kTipIdProperty = "kestravaTipId";

void applyText(QObject* target)
{
    const int textId = target->property(kTextIdProperty).toInt();
    const int tipId = target->property(kTipIdProperty).toInt();
    const QString text = textId != 0 ? appText(textId) : QString();
    if (auto* button = qobject_cast<QAbstractButton*>(target)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(target)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(target)) {
        group->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(target)) {
        action->setText(text);
    } else if (auto* widget = qobject_cast<QWidget*>(target); widget != nullptr && widget->isWindow()) {
        widget->setWindowTitle(text);
    }
    if (tipId != 0) {
        if (auto* widget = qobject_cast<QWidget*>(target)) {
            widget->setToolTip(appText(tipId));
        } else if (auto* action = qobject_cast<QAction*>(target)) {
            action->setToolTip(appText(tipId));
        }
    }
}

} // namespace

void bindText(QObject* target, int textId, int tipId)
{
    target->setProperty(kTextIdProperty, textId);
    target->setProperty(kTipIdProperty, tipId);
    applyText(target);
}

void retranslate(QObject* root)
{
    QList<QObject*> targets = root->findChildren<QObject*>();
    targets.prepend(root);
    for (QObject* target : targets) {
        if (target->property(kTextIdProperty).isValid()) {
            applyText(target);
        }
    }
}

QString appTextWithoutColons(int id)
{
    return appText(id).remove(QLatin1Char(':')).trimmed();
}

} // namespace kestrava::gui
