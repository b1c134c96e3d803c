#include "orva/view/notice_window.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "orva/services/resources.h"
#include "skin_style.h"

namespace orva::view {

double NoticeWidthFactor(QLocale::Language language) {
  if (language == QLocale::Japanese) return 1.85;
  if (language == QLocale::Korean) return 1.875;
  return 1.9;
}

NoticeWindow::NoticeWindow(Notice notice, uint8_t opacity, QWidget* parent) : QDialog(parent), m_notice(notice) {
  setObjectName(QStringLiteral("noticeWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  skin::StyleDialog(this, opacity);
  const QString title = services::Resources::NoticeTitle(notice);
  const QString text = services::Resources::NoticeText(notice);
  setWindowTitle(title);

  m_title = new QLabel(title, this);
  m_title->setObjectName(QStringLiteral("noticeTitle"));
  m_text = new QLabel(text, this);
  m_text->setWordWrap(true);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 16, 20, 14);
  layout->setSpacing(10);
  layout->addWidget(m_title);
  layout->addWidget(m_text);
  layout->addLayout(buttons);

  // Width from the text's width, as the client always sized its notices.
  const int textWidth = QFontMetrics(m_text->font()).horizontalAdvance(text);
  const int width = static_cast<int>(textWidth * NoticeWidthFactor(QLocale::system().language()));
  setFixedWidth(std::clamp(width, 280, 900));
}

QString NoticeWindow::Title() const { return m_title->text(); }
QString NoticeWindow::Text() const { return m_text->text(); }

}  // namespace orva::view
