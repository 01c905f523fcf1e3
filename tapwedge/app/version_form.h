#pragma once
// The version box ("Version情報"): the program file's version and what the connected reader can
// do (its edition and card kinds). It changes nothing.
#include <QDialog>
#include <QString>

#include <cstdint>

class QCheckBox;
class QLabel;

namespace tapwedge::app {

class TMyVerForm : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kDesignVersionText = "Version 0.0.0.1";

    // readerType: low nibble the edition, bits 0x10 Mifare, 0x40 FeliCa, 0x80 ISO15693.
    // programFile: the file whose version is shown; the running program's own by default.
    explicit TMyVerForm(const std::int32_t& readerType, QWidget* owner = nullptr,
                        const QString& programFile = QStringLiteral("/proc/self/exe"));

    // The file version of the program file, "2.0.F.FF" for 2.0.15.255; empty when the file has
    // no version record.
    static QString FileVersionText(const QString& programFile);

    void reject() override;
};

}  // namespace tapwedge::app
