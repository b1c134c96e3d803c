// The setup window's shared controls: the On/Off pair, the channel rows
// with their selection boxes and All/None, the button that shows a list
// choice, and the two pop-up choosers (list and number) that every page uses.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

#include "orva/setup/setup_edit.h"
#include "orva/setup/setup_rules.h"

class QHBoxLayout;
class QLabel;
class QListWidget;
class QSpinBox;
class QVBoxLayout;

namespace orva::view {

// A label by key from the resource library, else the fallback.
QString SetupText(const char* key, const char* fallback);
// The highest stored value a page offers for a field (shared with the
// changes by key, so the window and orvactl offer the same values).
inline int PageHigh(SetupFieldId id) { return static_cast<int>(setup::PageRange(id).high); }
// "CH" + "%02d" of the 1-based channel.
QString ChannelLabel(int c);

// Two exclusive buttons, On and Off (or Yes and No).
class OnOffPair : public QWidget {
  Q_OBJECT
 public:
  explicit OnOffPair(QWidget* parent, bool yesNo = false);
  void SetOn(bool on);
  bool On() const;
  QPushButton* OnButton() const { return m_on; }
  QPushButton* OffButton() const { return m_off; }
 signals:
  void chosen(bool on);  // only on a user's press

 private:
  QPushButton* m_on;
  QPushButton* m_off;
};

// One row per channel of the recorder: selection box, "CH01" label, and a
// row layout that the page fills with the value controls. All and None
// below. The rows are the recorder's channels only.
class ChannelRows : public QWidget {
  Q_OBJECT
 public:
  ChannelRows(int channels, QWidget* parent, int rowHeight = 21);
  int Channels() const { return m_channels; }
  QHBoxLayout* Row(int c) const { return m_rows[static_cast<size_t>(c)]; }
  QCheckBox* SelectBox(int c) const { return m_select[static_cast<size_t>(c)]; }
  setup::RowMask Selection() const;
  void SelectAll();
  void ClearAll();
  QPushButton* AllButton() const { return m_all; }
  QPushButton* NoneButton() const { return m_none; }
  // Extra buttons go beside All and None.
  QHBoxLayout* Footer() const { return m_footer; }

 private:
  int m_channels;
  std::array<QHBoxLayout*, 16> m_rows{};
  std::array<QCheckBox*, 16> m_select{};
  QPushButton* m_all;
  QPushButton* m_none;
  QHBoxLayout* m_footer;
};

// The pop-up list chooser: item texts (each cut to 259 characters) below an
// anchor; picking one calls the handler and closes it.
class ListChooser : public QFrame {
  Q_OBJECT
 public:
  ListChooser(const QStringList& items, int current, std::function<void(int)> handler, QWidget* parent);
  void ShowBelow(const QWidget* anchor);
  int Count() const;
  QString Item(int i) const;
  // As a user's pick (tests drive the chooser with this).
  void Pick(int i);

 private:
  QListWidget* m_list;
  std::function<void(int)> m_handler;
};

// The pop-up number chooser: one or two numbers (hour and minute, a count)
// with OK.
class NumberChooser : public QFrame {
  Q_OBJECT
 public:
  struct Limits {
    QString title;
    int min1 = 0, max1 = 0, value1 = 0;
    bool second = false;
    int min2 = 0, max2 = 0, value2 = 0;
  };
  NumberChooser(const Limits& limits, std::function<void(int, int)> handler, QWidget* parent);
  void ShowBelow(const QWidget* anchor);
  QSpinBox* First() const { return m_first; }
  QSpinBox* Second() const { return m_second; }
  // As a user's OK with these values (clamped to the ranges).
  void Confirm(int value1, int value2 = 0);

 private:
  QSpinBox* m_first;
  QSpinBox* m_second = nullptr;
  std::function<void(int, int)> m_handler;
};

}  // namespace orva::view

class QSlider;

namespace orva::view {

// Row controls added to channel c's row, named "<name>.<c+1>".
QSlider* AddRowSlider(ChannelRows* rows, int c, const char* name, int min, int max, int value);
QLabel* AddRowText(ChannelRows* rows, int c, const char* name, const QString& text, int width = 70);
OnOffPair* AddRowPair(ChannelRows* rows, int c, const char* name, bool on, bool yesNo = false);

}  // namespace orva::view
