// The main menu on Qt, built from the menu table: one QAction per item, put
// both into the menu bar's menus and onto the main window itself, so every
// shortcut still acts while the menu bar is hidden in full screen.
#pragma once

#include <QObject>
#include <functional>
#include <string_view>
#include <vector>

#include "shell/main_menu.h"

class QAction;
class QMainWindow;
class QMenu;

class TMainMenuQt final : public QObject {
  Q_OBJECT

 public:
  // Builds the menu bar of `window`; triggered actions run their item
  // through `commands`, and the actions then show its marks and states.
  TMainMenuQt(QMainWindow& window, TMenuCommands& commands);
  // Takes the actions off the window and the menus out of the menu bar.
  ~TMainMenuQt() override;

  // Shows the commands' marks and enabled states on the actions.
  void Sync();

  QAction* Action(std::string_view name) const;
  const std::vector<QAction*>& Actions() const { return actions_; }

  // Tests: what a triggered item runs instead of its handler.
  void SetDispatchForTesting(std::function<void(int index)> dispatch) { dispatch_ = std::move(dispatch); }

 private:
  void Triggered(int index);

  TMenuCommands& commands_;
  std::vector<QAction*> actions_;
  std::vector<QMenu*> menus_;
  std::function<void(int index)> dispatch_;
};
