// Building blocks shared by the setup pages.
#pragma once

#include <QStringList>
#include <vector>

#include "setup_window.h"

class QLabel;
class QSlider;
class QVBoxLayout;

namespace orva::view {

// A page laid out top to bottom with its title.
QVBoxLayout* PageLayout(SetupPage* page);

// Channel rows of On/Off pairs over one 16-byte array (1 = on), with the
// common editing rule. `base` may be switched (record mode 6's tabs).
class OnOffRows {
 public:
  OnOffRows(ChannelRows* rows, setup::Image image, size_t base, const char* name, bool yesNo = false);
  void SetBase(size_t base);  // reloads the pairs from the new array
  void Refresh();
  OnOffPair* Pair(int c) const { return m_pairs[static_cast<size_t>(c)]; }

 private:
  ChannelRows* m_rows;
  setup::Image m_image;
  size_t m_base;
  std::vector<OnOffPair*> m_pairs;
};

// A row of buttons of which one is lit (tabs, mode buttons, the sensor's
// three states). `chosen` runs on a press with the button's index.
class ButtonStrip : public QWidget {
  Q_OBJECT
 public:
  ButtonStrip(const QStringList& texts, const QString& name, QWidget* parent);
  void SetCurrent(int i);
  int Current() const { return m_current; }
  QPushButton* Button(int i) const { return m_buttons[static_cast<size_t>(i)]; }
 signals:
  void chosen(int index);

 private:
  std::vector<QPushButton*> m_buttons;
  int m_current = -1;
};

// Numbered list items "00" .. or "1" .. as text.
QStringList NumberItems(int first, int last, const char* format = "%d");
// A resource list "setup.list.<name>" of '|'-separated items, else the fallback.
QStringList ListItems(const char* name, const char* fallback);

}  // namespace orva::view
