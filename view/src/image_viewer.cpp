#include "orva/view/image_viewer.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "orva/pictures/snapshot.h"
#include "skin_style.h"

namespace orva::view {

QString ImageSizeText(const QImage& image) {
  return image.isNull() ? QString() : QString::asprintf("(%d x %d)", image.width(), image.height());
}

OpenImageDialog::OpenImageDialog(const QString& savedFolder, uint8_t opacity, QWidget* parent)
    : QFileDialog(parent, QStringLiteral("Open image"), savedFolder) {
  setObjectName(QStringLiteral("openImageDialog"));
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::ReadOnly, true);
  setFileMode(QFileDialog::ExistingFile);
  setAcceptMode(QFileDialog::AcceptOpen);
  setDefaultSuffix(QStringLiteral("Image"));
  setNameFilter(QString::fromLatin1(kImageFilter));
  skin::StyleDialog(this, opacity);

  auto* pane = new QWidget(this);
  auto* paneLayout = new QVBoxLayout(pane);
  paneLayout->setContentsMargins(8, 0, 0, 0);
  m_preview = new QLabel(pane);
  m_preview->setObjectName(QStringLiteral("imagePreview"));
  m_preview->setFixedSize(360, 240);
  m_preview->setAlignment(Qt::AlignCenter);
  m_preview->setStyleSheet(QStringLiteral("background: #0d1117; border: 1px solid #30363d;"));
  m_size = new QLabel(pane);
  m_size->setAlignment(Qt::AlignCenter);
  paneLayout->addWidget(m_preview);
  paneLayout->addWidget(m_size);
  paneLayout->addStretch(1);
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
  connect(this, &QFileDialog::currentChanged, this, &OpenImageDialog::Preview);
}

void OpenImageDialog::Preview(const QString& path) {
  const QImage image = QFileInfo(path).isFile() ? pictures::LoadImageFile(path) : QImage();
  if (image.isNull()) {
    m_preview->clear();
    m_size->clear();
    return;
  }
  m_preview->setPixmap(QPixmap::fromImage(image.scaled(m_preview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  m_size->setText(ImageSizeText(image));
}

QString OpenImageDialog::SizeText() const { return m_size->text(); }

ImageViewer::ImageViewer(const QString& path, uint8_t opacity, QWidget* parent)
    : QWidget(parent, Qt::Window), m_image(pictures::LoadImageFile(path, &m_error)) {
  setObjectName(QStringLiteral("imageViewer"));
  setAttribute(Qt::WA_DeleteOnClose);
  skin::StyleDialog(this, opacity);
  setWindowTitle(QFileInfo(path).fileName() + (m_image.isNull() ? QString() : QStringLiteral("  ") + ImageSizeText(m_image)));
  resize(m_image.isNull() ? QSize(400, 300) : m_image.size().boundedTo(QSize(1280, 960)));
}

void ImageViewer::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), skin::kBackground);
  if (m_image.isNull()) {  // an unreadable file shows why
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_error);
    return;
  }
  const QSize shown = m_image.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, m_image);
}

}  // namespace orva::view
