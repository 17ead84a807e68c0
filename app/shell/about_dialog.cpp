#include "shell/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/control_ids.h"

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Corvalis"));
    setObjectName(ctrl::name(ctrl::AboutDialog));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/corvalis.png")).pixmap(48, 48));
    auto* text = new QLabel(QStringLiteral("Corvalis Version 2.7"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ctrl::name(ctrl::Ok));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    setFixedSize(sizeHint());
}
