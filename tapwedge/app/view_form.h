#pragma once
// The raw data view: the bytes of the last card read, as the polling loop dumps them.
#include <QWidget>

class QFrame;
class QPlainTextEdit;

namespace tapwedge::app {

class TViewForm : public QWidget {
    Q_OBJECT
public:
    explicit TViewForm(QWidget* parent = nullptr);
    ~TViewForm() override;

    QFrame* Panel1 = nullptr;          // disabled: the memo can be neither focused nor edited
    QPlainTextEdit* ViewMemo = nullptr;
};

}  // namespace tapwedge::app
