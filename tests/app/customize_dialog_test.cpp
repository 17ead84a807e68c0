// The customise sheet: categories from the menus, and the toolbar's commands changed.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "shell/customize_dialog.h"

namespace {

int argc = 1;
char name[] = "customize_dialog_test";
char* argv[] = {name, nullptr};

TEST(CustomizeDialog, ListsCommandsByCategoryAndChangesTheToolbar) {
    QApplication app(argc, argv);
    QMainWindow frame;
    QMenu* file = frame.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open..."));
    file->addSeparator();
    file->addMenu(QStringLiteral("Recent &Files"))->addAction(QStringLiteral("&1 sky.tif"));
    QMenu* help = frame.menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = help->addAction(QStringLiteral("&About Corvalis..."));
    QToolBar* toolbar = frame.addToolBar(QStringLiteral("Standard"));
    toolbar->addAction(about);

    CustomizeDialog dialog(&frame, toolbar);
    EXPECT_EQ(dialog.categories(),
              (QStringList{"File", "Help", "All Commands", "Built-in Menus", "New Menu"}));
    EXPECT_EQ(dialog.commandsOf("File"), (QStringList{"Open", "1 sky.tif"}));
    EXPECT_EQ(dialog.commandsOf("All Commands"),
              (QStringList{"Open", "1 sky.tif", "About Corvalis"}));
    EXPECT_EQ(dialog.commandsOf("Built-in Menus"), (QStringList{"File", "Help"}));
    EXPECT_TRUE(dialog.commandsOf("New Menu").isEmpty());

    EXPECT_TRUE(dialog.addToToolbar("Open"));
    EXPECT_FALSE(dialog.addToToolbar("Open"));  // once only
    EXPECT_FALSE(dialog.addToToolbar("No such command"));
    ASSERT_EQ(toolbar->actions().size(), 2);
    EXPECT_EQ(toolbar->actions().at(1)->text(), QStringLiteral("&Open..."));

    EXPECT_TRUE(dialog.removeFromToolbar("About Corvalis"));
    EXPECT_FALSE(dialog.removeFromToolbar("About Corvalis"));
    ASSERT_EQ(toolbar->actions().size(), 1);
    EXPECT_EQ(toolbar->actions().at(0)->text(), QStringLiteral("&Open..."));
}

}  // namespace
