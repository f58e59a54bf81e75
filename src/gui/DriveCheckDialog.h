// The report of a drive check: a heading saying whether anything was found, and one line per
// finding in a read-only list that can be selected and copied.
#pragma once

#include "gui/DriveActions.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace kestrava::gui {

class DriveCheckDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DriveCheckDialog(const DriveCheckOutcome& outcome, QWidget* parent = nullptr);

    QString heading() const;
    QStringList findings() const;

private:
    QLabel* m_heading = nullptr;
    QPlainTextEdit* m_findings = nullptr;
};

} // namespace kestrava::gui
