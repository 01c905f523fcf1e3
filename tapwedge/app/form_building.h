#pragma once
// Small helpers that create the controls of a dialog with their names, texts and first states,
// as a form designer would: each control gets its name as objectName.
#include <QString>
#include <QStringList>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace tapwedge::app {

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* name = nullptr);
// An edit that takes at most maxLength typed characters, wide enough for them; a longer text
// the program shows with ShowWholeText (app/typing_limit.h) is shown whole.
QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength, const QString& text = {});
QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& text, bool checked);
QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& text, bool checked);
// A drop-down list that cannot be edited, with nothing selected until the form selects.
QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items);
// A framed panel.
QFrame* MakePanel(QWidget* parent, const char* name);
QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& title);

// A layout with the spacing and margins of the program's dialogs, set on widget.
QBoxLayout* Row(QWidget* widget);
QBoxLayout* Column(QWidget* widget);

}  // namespace tapwedge::app
