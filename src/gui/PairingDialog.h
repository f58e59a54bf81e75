// Pairing the authenticator app: the secret as a QR code drawn from the core's module matrix
// (nothing leaves the machine), a first code to prove the pairing, then OK stores it.
#pragma once

#include "core/access/PairingDialogModel.h"

#include <QDialog>
#include <chrono>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrava::gui {

inline constexpr int kQrImageSize = 200;

class PairingDialog : public QDialog
{
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // secret: the program's current secret (its first 16 characters are the dialog's until a
    // new one is generated).
    PairingDialog(ProgramValues& values, std::string_view secret,
                  Clock clock = std::chrono::system_clock::now, QWidget* parent = nullptr);

    // After OK: the secret now stored, for the program's own copy.
    const std::optional<crypto::SecureString>& acceptedSecret() const { return m_accepted; }
    const PairingDialogModel& model() const { return m_model; }

    // Generates a new secret, as the button does.
    void generate();
    void verify();

    QLineEdit* accountField() const { return m_account; }
    QLineEdit* keyField() const { return m_key; }
    QLineEdit* codeField() const { return m_code; }
    QLabel* image() const { return m_image; }
    QLabel* codeMark() const { return m_codeMark; }
    QLabel* accountMark() const { return m_accountMark; }
    QLabel* syncNote() const { return m_note; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* verifyButton() const { return m_verify; }
    QPushButton* generateButton() const { return m_generate; }

public slots:
    void accept() override;

private:
    void showModel();

    ProgramValues& m_values;
    Clock m_clock;
    PairingDialogModel m_model;
    std::optional<crypto::SecureString> m_accepted;
    QLineEdit* m_account = nullptr;
    QLabel* m_accountMark = nullptr;
    QLineEdit* m_key = nullptr;
    QLabel* m_image = nullptr;
    QLineEdit* m_code = nullptr;
    QLabel* m_codeMark = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_verify = nullptr;
    QPushButton* m_generate = nullptr;
    QPushButton* m_ok = nullptr;
};

// The QR code of text, size x size pixels, dark modules on white; a null image when the text
// cannot be encoded.
QImage renderQrImage(const std::string& text, int size = kQrImageSize);

} // namespace kestrava::gui
