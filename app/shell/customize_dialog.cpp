#include "shell/customize_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString kAllCommands = QStringLiteral("All Commands");
const QString kBuiltInMenus = QStringLiteral("Built-in Menus");
const QString kNewMenu = QStringLiteral("New Menu");

QString plainText(const QAction* action) {
    QString text = action->text();
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QStringLiteral("..."))) text.chop(3);
    return text;
}

// The commands of a menu and its submenus, separators left out.
void collect(const QMenu* menu, QList<QAction*>& out) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        if (action->menu() != nullptr) {
            collect(action->menu(), out);
        } else {
            out.append(action);
        }
    }
}

}  // namespace

CustomizeDialog::CustomizeDialog(QMainWindow* frame, QToolBar* toolbar)
    : QDialog(frame), frame_(frame), toolbar_(toolbar) {
    setWindowTitle(tr("Customize"));
    auto* tabs = new QTabWidget(this);

    auto* options = new QWidget(tabs);
    auto* optionsLayout = new QVBoxLayout(options);
    auto* show = new QCheckBox(tr("Show the \"Standard\" toolbar"), options);
    show->setChecked(toolbar_->isVisible());
    connect(show, &QCheckBox::toggled, toolbar_, &QToolBar::setVisible);
    auto* large = new QCheckBox(tr("Large icons"), options);
    large->setChecked(toolbar_->iconSize().height() > 24);
    connect(large, &QCheckBox::toggled, this,
            [this](bool on) { toolbar_->setIconSize(on ? QSize(32, 32) : QSize(16, 16)); });
    auto* text = new QCheckBox(tr("Show text under icons"), options);
    text->setChecked(toolbar_->toolButtonStyle() == Qt::ToolButtonTextUnderIcon);
    connect(text, &QCheckBox::toggled, this, [this](bool on) {
        toolbar_->setToolButtonStyle(on ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    });
    optionsLayout->addWidget(show);
    optionsLayout->addWidget(large);
    optionsLayout->addWidget(text);
    optionsLayout->addStretch();
    tabs->addTab(options, tr("Options"));

    auto* commands = new QWidget(tabs);
    auto* commandsLayout = new QHBoxLayout(commands);
    categories_ = new QListWidget(commands);
    categories_->addItems(categories());
    commands_ = new QListWidget(commands);
    auto* buttons = new QVBoxLayout;
    auto* add = new QPushButton(tr("Add to toolbar"), commands);
    auto* remove = new QPushButton(tr("Remove from toolbar"), commands);
    connect(add, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = commands_->currentItem()) addToToolbar(item->text());
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = commands_->currentItem()) removeFromToolbar(item->text());
    });
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    commandsLayout->addWidget(categories_);
    commandsLayout->addWidget(commands_);
    commandsLayout->addLayout(buttons);
    connect(categories_, &QListWidget::currentRowChanged, this, &CustomizeDialog::showCategory);
    categories_->setCurrentRow(0);
    tabs->addTab(commands, tr("Commands"));

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(close);
}

QStringList CustomizeDialog::categories() const {
    QStringList names;
    for (QAction* menu : frame_->menuBar()->actions())
        if (menu->menu() != nullptr) names << plainText(menu);
    names << kAllCommands << kBuiltInMenus << kNewMenu;
    return names;
}

QList<QAction*> CustomizeDialog::actionsOf(const QString& category) const {
    QList<QAction*> actions;
    const QList<QAction*> menus = frame_->menuBar()->actions();
    if (category == kBuiltInMenus) {
        for (QAction* menu : menus)
            if (menu->menu() != nullptr) actions.append(menu);
    } else if (category == kAllCommands) {
        for (QAction* menu : menus)
            if (menu->menu() != nullptr) collect(menu->menu(), actions);
    } else if (category != kNewMenu) {
        for (QAction* menu : menus)
            if (menu->menu() != nullptr && plainText(menu) == category)
                collect(menu->menu(), actions);
    }
    return actions;
}

QStringList CustomizeDialog::commandsOf(const QString& category) const {
    QStringList names;
    for (const QAction* action : actionsOf(category)) names << plainText(action);
    return names;
}

QAction* CustomizeDialog::findCommand(const QString& text) const {
    for (QAction* action : actionsOf(kAllCommands))
        if (plainText(action) == text) return action;
    return nullptr;
}

bool CustomizeDialog::addToToolbar(const QString& command) {
    QAction* action = findCommand(command);
    if (action == nullptr || toolbar_->actions().contains(action)) return false;
    toolbar_->addAction(action);
    return true;
}

bool CustomizeDialog::removeFromToolbar(const QString& command) {
    for (QAction* action : toolbar_->actions()) {
        if (!action->isSeparator() && plainText(action) == command) {
            toolbar_->removeAction(action);
            return true;
        }
    }
    return false;
}

void CustomizeDialog::showCategory(int row) {
    commands_->clear();
    if (row < 0) return;
    commands_->addItems(commandsOf(categories_->item(row)->text()));
}
