#include "export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "search_pages.h"
#include "skin_style.h"

namespace orva::view {

QString DefaultExportPath(const QString& folder, int channel, uint32_t from) {
  const QString stamp = FromRecorder(from).toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
  return QDir(folder).filePath(QString::asprintf("CH%02d_", channel + 1) + stamp + QStringLiteral(".mp4"));
}

QString ExportResultText(const ExportResult& r) {
  QString text = SearchText("export.done", "Written: %1 pictures, %2 s, %3 \u00D7 %4")
                     .arg(r.videoFrames)
                     .arg(r.durationSeconds, 0, 'f', 1)
                     .arg(r.width)
                     .arg(r.height);
  if (r.reencoded) text += SearchText("export.reencoded", " (fields woven, encoded again)");
  if (r.audioFrames == 0) text += SearchText("export.no_sound", ", no sound");
  if (r.skippedFrames) text += SearchText("export.skipped", ", %1 pictures left out").arg(r.skippedFrames);
  text += QLatin1Char('\n') + SearchText("export.checksums", "Checksums of %1 source files: %2")
                                  .arg(r.sourceFiles)
                                  .arg(QString::fromStdString(r.sha256Path));
  return text;
}

ExportDialog::ExportDialog(std::string pairsFolder, QString outputFolder, ExportDefaults defaults, int dateFormat,
                           std::function<QString(int)> titleOf, QWidget* parent)
    : QDialog(parent), m_folder(std::move(pairsFolder)), m_outputFolder(std::move(outputFolder)),
      m_titleOf(std::move(titleOf)) {
  setObjectName(QStringLiteral("exportDialog"));
  setWindowTitle(SearchText("export.title", "Export to MP4"));
  skin::StyleDialog(this, 255);
  setMinimumWidth(520);

  m_channel = new QComboBox(this);
  for (int ch = 0; ch < 16; ++ch) {
    QString label = QString::asprintf("%s%02d", SearchText("search.channel_word", "CH").toUtf8().constData(), ch + 1);
    const QString title = m_titleOf ? m_titleOf(ch) : QString();
    if (!title.isEmpty()) label += QStringLiteral("  ") + title;
    m_channel->addItem(label);
  }
  m_channel->setCurrentIndex(std::clamp(defaults.channel, 0, 15));
  m_from = MakeRecorderTimeEdit(dateFormat, this);
  m_to = MakeRecorderTimeEdit(dateFormat, this);
  m_from->setDateTime(FromRecorder(defaults.from));
  m_to->setDateTime(FromRecorder(defaults.to));
  m_firstField = new QCheckBox(SearchText("export.first_field", "Two-field pictures: copy the first field (no re-encoding)"), this);
  m_output = new QLineEdit(DefaultExportPath(m_outputFolder, defaults.channel, defaults.from), this);
  m_browse = new QPushButton(SearchText("export.browse", "Choose\u2026"), this);
  m_busy = new QProgressBar(this);
  m_busy->setRange(0, 0);  // busy: no measure of how far it is
  m_busy->setTextVisible(false);
  m_busy->setMaximumHeight(8);
  m_busy->hide();
  m_result = new QLabel(this);
  m_result->setObjectName(QStringLiteral("exportResult"));
  m_result->setWordWrap(true);
  m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_run = new QPushButton(SearchText("export.run", "Export"), this);
  m_run->setDefault(true);
  m_close = new QPushButton(SearchText("dialog.close", "Close"), this);

  auto* title = new QLabel(windowTitle(), this);
  title->setObjectName(QStringLiteral("noticeTitle"));
  auto* file = new QHBoxLayout;
  file->addWidget(m_output, 1);
  file->addWidget(m_browse);
  auto* form = new QFormLayout;
  form->addRow(SearchText("export.channel", "Channel"), m_channel);
  form->addRow(SearchText("search.range.start", "Start"), m_from);
  form->addRow(SearchText("search.range.end", "End"), m_to);
  form->addRow(QString(), m_firstField);
  form->addRow(SearchText("export.output", "File"), file);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_run);
  buttons->addWidget(m_close);
  auto* column = new QVBoxLayout(this);
  column->addWidget(title);
  column->addLayout(form);
  column->addWidget(m_busy);
  column->addWidget(m_result);
  column->addLayout(buttons);

  // The file name follows channel and start until the user chooses one.
  auto rename = [this] {
    if (!m_outputTouched)
      m_output->setText(DefaultExportPath(m_outputFolder, m_channel->currentIndex(), ToRecorder(m_from->dateTime())));
  };
  connect(m_channel, &QComboBox::currentIndexChanged, this, rename);
  connect(m_from, &QDateTimeEdit::dateTimeChanged, this, rename);
  connect(m_output, &QLineEdit::textEdited, this, [this] { m_outputTouched = true; });
  connect(m_browse, &QPushButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getSaveFileName(this, windowTitle(), m_output->text(),
                                                        SearchText("export.filter", "MP4 video (*.mp4)"));
    if (chosen.isEmpty()) return;
    m_output->setText(chosen.endsWith(QStringLiteral(".mp4"), Qt::CaseInsensitive) ? chosen : chosen + ".mp4");
    m_outputTouched = true;
  });
  connect(m_run, &QPushButton::clicked, this, &ExportDialog::Run);
  connect(m_close, &QPushButton::clicked, this, &ExportDialog::reject);
}

ExportDialog::~ExportDialog() {
  if (m_worker.joinable()) m_worker.join();
}

ExportRequest ExportDialog::Request() const {
  ExportRequest r;
  r.folder = m_folder;
  r.from = ToRecorder(m_from->dateTime());
  r.to = ToRecorder(m_to->dateTime());
  r.channel = m_channel->currentIndex();
  r.copyFirstField = m_firstField->isChecked();
  r.output = m_output->text().toStdString();
  if (m_titleOf) r.title = m_titleOf(r.channel).toStdString();
  return r;
}

void ExportDialog::Run() {
  if (m_running.load()) return;
  if (m_worker.joinable()) m_worker.join();
  const ExportRequest request = Request();
  // The Saved folder may not exist yet.
  QDir().mkpath(QFileInfo(QString::fromStdString(request.output)).absolutePath());
  SetBusy(true);
  m_result->setText(SearchText("export.running", "Exporting\u2026"));
  m_running = true;
  // The worker only posts back; the dialog waits for it before it goes.
  m_worker = std::thread([this, request] {
    ExportResult result;
    std::string error;
    const bool ok = ExportMp4(request, result, error);
    const QString text = QString::fromStdString(error);
    QMetaObject::invokeMethod(
        this, [this, ok, result, text] { Finished(ok, result, text); }, Qt::QueuedConnection);
  });
}

void ExportDialog::Finished(bool ok, const ExportResult& result, const QString& error) {
  m_running = false;
  SetBusy(false);
  m_result->setStyleSheet(ok ? QStringLiteral("color: #7ee787;") : QStringLiteral("color: #f85149;"));
  m_result->setText(ok ? ExportResultText(result) : SearchText("export.failed", "Nothing was written: %1").arg(error));
  emit exportFinished(ok);
}

void ExportDialog::SetBusy(bool busy) {
  m_busy->setVisible(busy);
  for (QWidget* w : std::initializer_list<QWidget*>{m_run, m_close, m_browse, m_channel, m_from, m_to, m_firstField,
                                                    m_output})
    w->setEnabled(!busy);
}

void ExportDialog::reject() {
  if (!m_running.load()) QDialog::reject();
}

}  // namespace orva::view
