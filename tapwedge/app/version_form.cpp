#include "app/version_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/title_bar_only.h"
#include "app/ui_hooks.h"
#include "core/program_version.h"

namespace tapwedge::app {
namespace {

QString EditionText(std::int32_t readerType) {
    switch (readerType & 0x0F) {
    case 0: return QStringLiteral("暗号非対応版");
    case 1: return QStringLiteral("暗号対応版");
    case 2: return QStringLiteral("暗号･SSFC対応版");
    case 3: return QStringLiteral("非対応機種");
    default: return QStringLiteral("(未検出)");
    }
}

QCheckBox* CardKindBox(const char* name, const QString& text, bool checked) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(checked);
    return box;
}

QLabel* NamedLabel(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
    return label;
}

}  // namespace

TMyVerForm::TMyVerForm(const std::int32_t& readerType, QWidget* owner,
                       const QString& programFile)
    : QDialog(owner) {
    setObjectName(QStringLiteral("MyVerForm"));
    setWindowTitle(QStringLiteral("Version情報"));
    ShowTitleBarOnly(this);

    auto* icon = NamedLabel("ProgramIcon", QString());
    const QIcon programIcon = QApplication::windowIcon().isNull()
                                  ? QIcon(QStringLiteral(":/icons/ready.png"))
                                  : QApplication::windowIcon();
    icon->setPixmap(programIcon.pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* product = NamedLabel("ProductName", QStringLiteral("Tapwedge"));
    QFont productFont = product->font();
    productFont.setBold(true);
    product->setFont(productFont);
    auto* version = NamedLabel("Version", QString::fromLatin1(kDesignVersionText));
    auto* maker = NamedLabel("Maker", QStringLiteral("Tapwedge developers"));
    auto* comments =
        NamedLabel("Comments", QStringLiteral("カードリーダライタ用キーボードエミュレーションソフト"));

    // What the reader can do, shown read-only.
    auto* panel = new QFrame;
    panel->setObjectName(QStringLiteral("Panel3"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* edition = NamedLabel("ComStatusLbl", EditionText(readerType));
    auto* panelLayout = new QGridLayout(panel);
    panelLayout->addWidget(NamedLabel(nullptr, QStringLiteral("R/W情報")), 0, 0, 1, 3);
    panelLayout->addWidget(NamedLabel(nullptr, QStringLiteral("Type  :")), 1, 0);
    panelLayout->addWidget(edition, 1, 1, 1, 2);
    panelLayout->addWidget(CardKindBox("TypeACBox", QStringLiteral("Mifare"), readerType & 0x10), 2, 0);
    panelLayout->addWidget(CardKindBox("FeliCaCBox", QStringLiteral("FeliCa"), readerType & 0x40), 2, 1);
    panelLayout->addWidget(
        CardKindBox("ISO15693CBox", QStringLiteral("ISO15693"), readerType & 0x80), 2, 2);
    // Disabled so that nothing in it takes input, but drawn in the normal colours: it is a
    // display, not an unavailable choice.
    panel->setEnabled(false);
    QPalette readable = panel->palette();
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        readable.setColor(QPalette::Disabled, role, readable.color(QPalette::Active, role));
    }
    panel->setPalette(readable);

    auto* okButton = new QPushButton(QStringLiteral("OK"));
    okButton->setObjectName(QStringLiteral("OKButton"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this] { done(kResultOk); });

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addWidget(maker);
    texts->addWidget(comments);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A file that cannot be opened keeps the design text; one without a record shows "Version ".
    FileVersion fileVersion;
    const auto status = ReadFileVersion(programFile.toStdString(), fileVersion);
    if (status != VersionReadStatus::CannotOpen) {
        version->setText(QStringLiteral("Version ") +
                         (status == VersionReadStatus::Found
                              ? QString::fromStdString(FormatFileVersion(fileVersion))
                              : QString()));
    }
}

QString TMyVerForm::FileVersionText(const QString& programFile) {
    FileVersion version;
    if (ReadFileVersion(programFile.toStdString(), version) != VersionReadStatus::Found) {
        return QString();
    }
    return QString::fromStdString(FormatFileVersion(version));
}

// Escape closes the box with Cancel (the caller ignores the result).
void TMyVerForm::reject() { done(kResultCancel); }

}  // namespace tapwedge::app
