#include "log_pdf.h"

#ifdef ORVA_HAVE_VIEW
#include <QApplication>
#include <QPrinter>
#include <memory>

#include "orva/view/recorder_views.h"
#endif

namespace orva::cli {

#ifdef ORVA_HAVE_VIEW
bool PrintLogPdf(const std::vector<LogRecord>& records, LogView view, int dateFormat, const std::string& path,
                 std::string& error) {
  // Printing needs a GUI application; orvactl has none of its own, and a
  // headless run must not look for a display.
  std::unique_ptr<QApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "orvactl";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  QString message;
  const int pages = view::PrintRemoteLogRows(printer, view::BuildRemoteLogRows(records, view, dateFormat), view,
                                             &message);
  if (pages <= 0) {
    error = "cannot print to " + path + (message.isEmpty() ? std::string() : ": " + message.toStdString());
    return false;
  }
  return true;
}
#else
bool PrintLogPdf(const std::vector<LogRecord>&, LogView, int, const std::string&, std::string& error) {
  error = "--pdf needs the desktop build (this orvactl was built without Qt)";
  return false;
}
#endif

}  // namespace orva::cli
