// The small bar shown at the bottom of a full-screen monitor: leave full
// screen and pick a layout. Top-most, 350 x 44, partly transparent, with
// magenta as its fully transparent colour.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace orva::view {

class ControlBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 350, kHeight = 44;
  static constexpr int kOpacity = 150;  // of 255

  explicit ControlBar(QWidget* parent = nullptr);
  // Centred horizontally on the bottom edge of `screenGeometry`.
  void PlaceOn(const QRect& screenGeometry);

 signals:
  void leaveRequested();
  void layoutRequested(int layout);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap m_background;
};

}  // namespace orva::view
