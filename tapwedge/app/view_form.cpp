#include "app/view_form.h"

#include <QFrame>
#include <QPalette>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/fonts.h"

namespace tapwedge::app {

TViewForm::TViewForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ViewForm"));
    setWindowTitle(QStringLiteral("ReadDataView"));
    resize(297, 208);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setEnabled(false);

    ViewMemo = new QPlainTextEdit(Panel1);
    ViewMemo->setObjectName(QStringLiteral("ViewMemo"));
    ViewMemo->setReadOnly(true);
    ViewMemo->setFont(FixedJapaneseFont(12));
    // Silver, also in the disabled state the panel puts the memo in.
    QPalette palette = ViewMemo->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    ViewMemo->setPalette(palette);

    auto* memoLayout = new QVBoxLayout(Panel1);
    memoLayout->setContentsMargins(0, 0, 0, 0);
    memoLayout->addWidget(ViewMemo);
    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->addWidget(Panel1);
}

TViewForm::~TViewForm() = default;

}  // namespace tapwedge::app
