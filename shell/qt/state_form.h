// What the three state windows share: a small tool window whose boxes are
// sunken texts beside caption labels, refreshed by a 50 ms timer that runs
// only while the window is shown. While shown, the window also asks the
// machine to copy its state at every frame end.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "machine/hardware.h"
#include "shell/state_texts.h"

class QGridLayout;

// A sunken static text that reports clicks.
class TStateBox final : public QLabel {
  Q_OBJECT

 public:
  explicit TStateBox(QWidget* parent = nullptr);
  void SetColour(TBoxColour colour);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

class TStateForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRefreshMs = 50;

  // The window may outlive the machine (as a child of the main window, which
  // goes after it), so its destruction leaves the machine alone; a window
  // that was closed has already stopped watching.
  TStateForm(TZXHardware& machine, const char* caption, int clientWidth, int clientHeight,
             QWidget* parent);

  // The refresh the timer runs.
  virtual void TimerUpdateTimer() = 0;

  TZXHardware& machine() const { return machine_; }

  QTimer TimerUpdate;

 protected:
  // FormShow and FormClose: the timer and the machine's copies run only
  // while the window is shown.
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

  // A caption label and its box in a grid row; the box is named for tests.
  TStateBox* AddBox(QGridLayout* grid, int row, int column, const char* caption,
                    const char* name);

  TZXHardware& machine_;

 private:
  void StopWatching();
  bool watching_ = false;
};
