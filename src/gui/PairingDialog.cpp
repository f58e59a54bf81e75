#include "gui/PairingDialog.h"

#include "core/access/QrMatrix.h"
#include "gui/AppText.h"
#include "gui/DialogParts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kIntroduction = 186;
constexpr int kStepInstall = 187;
constexpr int kStepScan = 188;
constexpr int kManualSettings = 189;
constexpr int kStepVerify = 190;
constexpr int kGenerate = 191;
constexpr int kTitle = 257;
constexpr int kVerify = 258;
constexpr int kAccount = 259;
constexpr int kKey = 260;
constexpr int kSyncNote = 348;
constexpr int kCodeDigits = 6;

QLabel* wrapped(int id, QWidget* parent)
{
    auto* label = new QLabel(appText(id), parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

QImage renderQrImage(const std::string& text, int size)
{
    const auto matrix = encodeQrMatrix(text);
    if (!matrix) {
        return {};
    }
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    // Whole pixels per module keep every module the same size; what is left is shared out as a
    // thin white border.
    const int module = std::max(1, size / matrix->size());
    const int offset = (size - module * matrix->size()) / 2;
    QPainter painter(&image);
    for (int y = 0; y < matrix->size(); ++y) {
        for (int x = 0; x < matrix->size(); ++x) {
            if (matrix->isDark(x, y)) {
                painter.fillRect(offset + x * module, offset + y * module, module, module, Qt::black);
            }
        }
    }
    return image;
}

PairingDialog::PairingDialog(ProgramValues& values, std::string_view secret, Clock clock, QWidget* parent)
    : QDialog(parent), m_values(values), m_clock(std::move(clock)), m_model(loadGoogleAuth(values), secret)
{
    setObjectName(QStringLiteral("pairingDialog"));
    setWindowTitle(appText(kTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeHeading(appText(kTitle), this));
    layout->addWidget(wrapped(kIntroduction, this));
    layout->addWidget(wrapped(kStepInstall, this));
    layout->addWidget(wrapped(kStepScan, this));

    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("qrImage"));
    m_image->setFixedSize(kQrImageSize, kQrImageSize);
    auto* imageRow = new QHBoxLayout;
    imageRow->addStretch();
    imageRow->addWidget(m_image);
    imageRow->addStretch();
    layout->addLayout(imageRow);

    layout->addWidget(wrapped(kManualSettings, this));
    auto* form = new QFormLayout;
    m_account = new QLineEdit(this);
    m_account->setObjectName(QStringLiteral("accountField"));
    m_account->setMaxLength(static_cast<int>(kMaxAccountNameCharacters));
    m_accountMark = makeMarkLabel(this);
    auto* accountRow = new QHBoxLayout;
    accountRow->addWidget(m_account, 1);
    accountRow->addWidget(m_accountMark);
    form->addRow(appText(kAccount), accountRow);
    m_key = new QLineEdit(this);
    m_key->setObjectName(QStringLiteral("keyField"));
    m_key->setReadOnly(true);
    form->addRow(appText(kKey), m_key);
    layout->addLayout(form);

    layout->addWidget(wrapped(kStepVerify, this));
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("codeField"));
    m_code->setMaxLength(kCodeDigits);
    m_code->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), m_code));
    m_codeMark = makeMarkLabel(this);
    m_verify = new QPushButton(appText(kVerify), this);
    auto* codeRow = new QHBoxLayout;
    codeRow->addWidget(m_code);
    codeRow->addWidget(m_verify);
    codeRow->addWidget(m_codeMark);
    codeRow->addStretch();
    layout->addLayout(codeRow);
    m_note = wrapped(kSyncNote, this);
    m_note->setObjectName(QStringLiteral("syncNote"));
    layout->addWidget(m_note);

    m_generate = new QPushButton(appText(kGenerate), this);
    m_ok = new QPushButton(appText(text::OK), this);
    auto* cancel = new QPushButton(appText(text::Cancel), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_generate);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_generate, &QPushButton::clicked, this, &PairingDialog::generate);
    connect(m_verify, &QPushButton::clicked, this, &PairingDialog::verify);
    connect(m_ok, &QPushButton::clicked, this, &PairingDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_account, &QLineEdit::textEdited, this, [this](const QString& account) {
        m_model.editAccount(account.toStdString());
        showModel();
    });
    m_account->setText(QString::fromStdString(m_model.accountField()));
    showModel();
    setFixedWidth(480);
}

void PairingDialog::showModel()
{
    m_key->setText(QString::fromStdString(std::string(m_model.keyField())));
    const auto& address = m_model.imageAddress();
    m_image->setPixmap(address ? QPixmap::fromImage(renderQrImage(*address)) : QPixmap());
    m_ok->setEnabled(m_model.okEnabled());
    m_note->setVisible(m_model.syncNoteShown());
    setMark(m_accountMark, m_model.accountErrorShown() ? Mark::Failure : Mark::None);
}

void PairingDialog::generate()
{
    const bool shown = m_model.generate(generateGoogleAuthSecret());
    m_account->setText(QString::fromStdString(m_model.accountField()));
    showModel();
    if (shown) {
        setMark(m_codeMark, Mark::None);
        m_code->clear();
        m_code->setFocus();
    }
}

void PairingDialog::verify()
{
    const CodeCheck result = m_model.verify(m_code->text().toStdString(), m_clock());
    const bool accepted = result == CodeCheck::Accepted;
    setMark(m_codeMark, accepted ? Mark::Success : Mark::Failure);
    if (!accepted) {
        m_code->setFocus();
        m_code->selectAll();
    }
    showModel();
}

void PairingDialog::accept()
{
    m_accepted = m_model.accept(m_values);
    if (!m_accepted) {
        QMessageBox::critical(this, appText(text::Caption), appText(text::NotSaved));
        return;
    }
    QDialog::accept();
}

} // namespace kestrava::gui
