// The drive format of a new drive: a choice of the two formats with one line saying what the
// chosen one means. A drive that adopts an existing token keeps the token's format, so the
// windows hide the choice then.
#pragma once

#include "core/token/DriveFormat.h"

#include <QWidget>

class QComboBox;
class QLabel;

namespace kestrava::gui {

class FormatChoice : public QWidget
{
    Q_OBJECT

public:
    explicit FormatChoice(QWidget* parent = nullptr);

    token::DriveFormat format() const;
    void setFormat(token::DriveFormat format);

    QComboBox* box() const { return m_box; }
    QLabel* meaning() const { return m_meaning; }

private:
    void showMeaning();

    QComboBox* m_box = nullptr;
    QLabel* m_meaning = nullptr;
};

} // namespace kestrava::gui
