// The CSV output of a read, and telling the user when its lines are lost.
#include <cerrno>
#include <cstdio>

#include "app/main_form.h"
#include "app/tasktray_icon.h"
#include "core/csv_output.h"

namespace tapwedge::app {

void TForm1::WriteCsvLine() {
    const OutputOptions& options = Settings.OutputOptions;
    errno = 0;
    const int result = AppendCsvLine(Settings.OutputItems, options, CardID, CardData);
    const int error = errno;
    const std::optional<CsvFailureTexts> told =
        CsvNotice.Record(result, error, options.CsvFolder + options.CsvFileName);
    if (told) std::fprintf(stderr, "tapwedge: %s\n", told->ErrorLine.c_str());
    if (!TrayIcon) return;
    TrayIcon->SetTipNote(QString::fromStdString(CsvNotice.TipNote()));
    if (told) {
        TrayIcon->ShowTrayMessage(QString::fromStdString(told->Title),
                                  QString::fromStdString(told->Message));
    }
}

}  // namespace tapwedge::app
