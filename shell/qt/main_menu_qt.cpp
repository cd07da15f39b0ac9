#include "shell/qt/main_menu_qt.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

// The key sequences of a shortcut text, the first one the menu shows: Qt
// keeps the main keyboard's Return apart from the keypad's Enter, and the
// menu's "Enter" answers both.
QList<QKeySequence> KeySequences(const char* text) {
  QList<QKeySequence> keys;
  if (!*text) return keys;
  const QKeySequence key = QKeySequence::fromString(QString::fromLatin1(text), QKeySequence::PortableText);
  keys << key;
  const QKeyCombination first = key[0];
  if (first.key() == Qt::Key_Return || first.key() == Qt::Key_Enter) {
    const Qt::Key other = first.key() == Qt::Key_Return ? Qt::Key_Enter : Qt::Key_Return;
    keys << QKeySequence(QKeyCombination(first.keyboardModifiers(), other));
  }
  return keys;
}

// The menu bar's style without its keyboard navigation: Alt alone would
// hand the keys to the menu bar (a cursor key then opening a menu, Enter
// running an item), and the keys belong to the emulated machine.
class NoAltNavigationStyle final : public QProxyStyle {
 public:
  NoAltNavigationStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_MenuBar_AltKeyNavigation) return 0;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

}  // namespace

TMainMenuQt::TMainMenuQt(QMainWindow& window, TMenuCommands& commands) : commands_(commands) {
  QMenuBar* bar = window.menuBar();
  if (!dynamic_cast<NoAltNavigationStyle*>(bar->style())) {
    auto* style = new NoAltNavigationStyle;
    style->setParent(bar);
    bar->setStyle(style);
  }
  for (const TMenuTitle& title : kMenuTitles) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(title.Caption));
    menu->setObjectName(QString::fromLatin1(title.Name));
    menus_.push_back(menu);
  }
  const auto items = MainMenuItems();
  for (size_t i = 0; i < items.size(); ++i) {
    const TMenuItem& item = items[i];
    QMenu* menu = menus_[static_cast<size_t>(item.Menu)];
    QAction* action = nullptr;
    if (item.IsSeparator()) {
      action = menu->addSeparator();
    } else {
      action = new QAction(QString::fromUtf8(item.Caption), &window);
      action->setObjectName(QString::fromLatin1(item.Name));
      action->setShortcuts(KeySequences(item.Shortcut));
      action->setCheckable(item.Mark != TMark::None);
      action->setVisible(item.Visible);
      menu->addAction(action);
      // The window's own copy keeps the shortcut alive without a menu bar.
      window.addAction(action);
      const int index = static_cast<int>(i);
      connect(action, &QAction::triggered, this, [this, index] { Triggered(index); });
    }
    actions_.push_back(action);
  }
  Sync();
}

TMainMenuQt::~TMainMenuQt() {
  const auto items = MainMenuItems();
  for (size_t i = 0; i < actions_.size(); ++i)
    if (!items[i].IsSeparator()) delete actions_[i];
  for (QMenu* menu : menus_) delete menu;
}

void TMainMenuQt::Triggered(int index) {
  if (dispatch_)
    dispatch_(index);
  else
    commands_.Execute(index);
  Sync();
}

void TMainMenuQt::Sync() {
  const auto items = MainMenuItems();
  for (size_t i = 0; i < actions_.size(); ++i) {
    if (items[i].IsSeparator()) continue;
    actions_[i]->setEnabled(commands_.Enabled[i]);
    if (items[i].Mark != TMark::None) actions_[i]->setChecked(commands_.Checked[i]);
  }
}

QAction* TMainMenuQt::Action(std::string_view name) const {
  const int i = MenuItemIndex(name);
  return i < 0 ? nullptr : actions_[static_cast<size_t>(i)];
}
