// The about window: the program's name and version, what its encryption does, the licence,
// and links to the web site and privacy page when the build names them.
#pragma once

#include <QDialog>

class QLabel;

namespace kestrava::gui {

class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QLabel* versionLine() const { return m_version; }

private:
    QLabel* m_version = nullptr;
};

} // namespace kestrava::gui
