#include "gui/FormatChoice.h"

#include "gui/AppText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace kestrava::gui {

namespace {

constexpr int kCompatibleName = 1401;
constexpr int kHardenedName = 1402;
constexpr int kCompatibleMeaning = 1403;
constexpr int kHardenedMeaning = 1404;
constexpr int kFormatLabel = 1405;

} // namespace

FormatChoice::FormatChoice(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(appText(kFormatLabel), this);
    m_box = new QComboBox(this);
    m_box->setObjectName(QStringLiteral("formatBox"));
    // The item data is the format, so the order of the items never decides anything.
    m_box->addItem(appText(kCompatibleName), static_cast<int>(token::DriveFormat::Compatible));
    m_box->addItem(appText(kHardenedName), static_cast<int>(token::DriveFormat::Hardened));
    label->setBuddy(m_box);
    row->addWidget(label);
    row->addWidget(m_box);
    row->addStretch();
    column->addLayout(row);
    m_meaning = new QLabel(this);
    m_meaning->setObjectName(QStringLiteral("formatMeaning"));
    m_meaning->setWordWrap(true);
    // Layouts of fixed-size dialogs measure a wrapped label at one width and show it at
    // another; room for three lines keeps either meaning whole.
    m_meaning->setMinimumHeight(m_meaning->fontMetrics().lineSpacing() * 3);
    column->addWidget(m_meaning);
    connect(m_box, &QComboBox::currentIndexChanged, this, &FormatChoice::showMeaning);
    showMeaning();
}

token::DriveFormat FormatChoice::format() const
{
    return static_cast<token::DriveFormat>(m_box->currentData().toInt());
}

void FormatChoice::setFormat(token::DriveFormat format)
{
    m_box->setCurrentIndex(m_box->findData(static_cast<int>(format)));
}

void FormatChoice::showMeaning()
{
    m_meaning->setText(
        appText(format() == token::DriveFormat::Hardened ? kHardenedMeaning : kCompatibleMeaning));
}

} // namespace kestrava::gui
