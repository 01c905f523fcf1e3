#include "app/form_building.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

#include "app/typing_limit.h"

namespace tapwedge::app {
namespace {

template <typename W>
W* Named(W* widget, const char* name) {
    if (name != nullptr) widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

void SetMargins(QBoxLayout* layout) {
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(6);
}

}  // namespace

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* name) {
    return Named(new QLabel(text, parent), name);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength, const QString& text) {
    auto* edit = Named(new QLineEdit(text, parent), name);
    LimitTyping(edit, maxLength);
    // Room for the widest digits plus the frame and text margins of the style, and at least for
    // a byte in decimal, which the program may show in a narrower box.
    const QFontMetrics metrics = edit->fontMetrics();
    const int digits = std::max(metrics.horizontalAdvance(QString(maxLength, QChar(u'W'))),
                                metrics.horizontalAdvance(QStringLiteral("000")));
    edit->setFixedWidth(digits + 16);
    return edit;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& text, bool checked) {
    auto* radio = Named(new QRadioButton(text, parent), name);
    radio->setChecked(checked);
    return radio;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& text, bool checked) {
    auto* check = Named(new QCheckBox(text, parent), name);
    check->setChecked(checked);
    return check;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items) {
    auto* list = Named(new QComboBox(parent), name);
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

QFrame* MakePanel(QWidget* parent, const char* name) {
    auto* panel = Named(new QFrame(parent), name);
    panel->setFrameShape(QFrame::StyledPanel);
    return panel;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& title) {
    return Named(new QGroupBox(title, parent), name);
}

QBoxLayout* Row(QWidget* widget) {
    auto* layout = new QHBoxLayout(widget);
    SetMargins(layout);
    return layout;
}

QBoxLayout* Column(QWidget* widget) {
    auto* layout = new QVBoxLayout(widget);
    SetMargins(layout);
    return layout;
}

}  // namespace tapwedge::app
