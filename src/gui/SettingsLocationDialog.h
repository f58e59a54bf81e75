// Choosing where the settings file lives. The dialog only picks the path (and "Default
// Location" forgets the configured one at once); its caller stores the choice.
#pragma once

#include "core/settings/UserRegistry.h"

#include <QDialog>
#include <filesystem>
#include <functional>

class QLineEdit;

namespace kestrava::gui {

class SettingsLocationDialog : public QDialog
{
    Q_OBJECT

public:
    // Asks for the file "Move" takes; an empty text: nothing chosen.
    using FileChooser = std::function<QString(QWidget* parent, const QString& current)>;

    SettingsLocationDialog(settings::UserRegistry& registry, const std::filesystem::path& current,
                           std::filesystem::path defaultPath, QWidget* parent = nullptr);

    // After OK: the path in the field.
    std::filesystem::path chosenPath() const;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    QLineEdit* pathField() const { return m_path; }

public slots:
    void moveFile();
    void useDefaultLocation();

private:
    settings::UserRegistry& m_registry;
    std::filesystem::path m_defaultPath;
    FileChooser m_chooseFile;
    QLineEdit* m_path = nullptr;
};

} // namespace kestrava::gui
