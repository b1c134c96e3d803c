// The notice window: one recorder refusal or connection failure, with its
// title and text from the resource library. The main window shows at most
// one at a time.
#pragma once

#include <QDialog>
#include <QLocale>

#include "orva/link/notices.h"

class QLabel;

namespace orva::view {

// The factor the notice window's width takes from its text's width: 1.9,
// 1.85 for Japanese and 1.875 for Korean.
double NoticeWidthFactor(QLocale::Language language);

class NoticeWindow : public QDialog {
  Q_OBJECT
 public:
  NoticeWindow(Notice notice, uint8_t opacity, QWidget* parent = nullptr);
  Notice Shown() const { return m_notice; }
  QString Title() const;
  QString Text() const;

 private:
  Notice m_notice;
  QLabel* m_title = nullptr;
  QLabel* m_text = nullptr;
};

}  // namespace orva::view
