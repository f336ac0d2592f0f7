#pragma once

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

// Opens the menu that holds `action` on the window's menu bar and clicks the
// entry, as a user does.
inline void ChooseFromMenu(QMainWindow *window, QAction *action) {
  QMenuBar *bar = window->menuBar();
  auto *menu = qobject_cast<QMenu *>(action->parent());
  QVERIFY(menu != nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
  QTRY_VERIFY(menu->isVisible());
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  QTRY_VERIFY(!menu->isVisible());
}

// Clicks the tab `index` of `tabs`, as a user does.
inline void ClickTab(QTabWidget *tabs, int index) {
  QTabBar *bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

// Asks `widget` for its pop-up menu as a right click does, then clicks the
// entry `action` of the menu that opened.
inline void ChooseFromPopupMenu(QWidget *widget, QAction *action) {
  auto *menu = qobject_cast<QMenu *>(action->parent());
  QVERIFY(menu != nullptr);
  const QPoint at = widget->rect().center();
  QContextMenuEvent request(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
  QApplication::sendEvent(widget, &request);
  QTRY_VERIFY(menu->isVisible());
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  QTRY_VERIFY(!menu->isVisible());
}
