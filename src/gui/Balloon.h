// A balloon tip anchored at a field: an icon, an optional bold title and a text, shown under
// the field and dismissed after a while, on a click, or when the field's window goes away.
#pragma once

#include "core/app/Prompter.h"

#include <QFrame>
#include <QPointer>

class QLabel;
class QTimer;

namespace kestrava::gui {

inline constexpr int kFieldBalloonMs = 5000;

class Balloon : public QFrame
{
    Q_OBJECT

public:
    // Shows the balloon of field's window at field (one balloon per window: a new one
    // replaces the text of the old). Returns it, for tests.
    static Balloon* showAt(QWidget* field, const QString& title, const QString& text, Icon icon,
                           int milliseconds = kFieldBalloonMs);
    // The balloon currently shown for the window of widget, if any.
    static Balloon* shownFor(QWidget* widget);

    QString title() const;
    QString text() const;
    QWidget* field() const { return m_field; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit Balloon(QWidget* window);
    void present(QWidget* field, const QString& title, const QString& text, Icon icon, int milliseconds);

    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_text;
    QTimer* m_timer;
    QPointer<QWidget> m_field;
};

} // namespace kestrava::gui
