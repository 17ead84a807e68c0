#include "shell/view_printing.h"

#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QWidget>

ViewPrinting::ViewPrinting(QWidget* dialogParent)
    : QObject(dialogParent), dialogParent_(dialogParent), printer_(QPrinter::HighResolution) {}

void ViewPrinting::pageSetup() {
    QPageSetupDialog dialog(&printer_, dialogParent_);
    dialog.exec();
}

bool ViewPrinting::print(QWidget* view) {
    if (view == nullptr) return false;
    QPrintDialog dialog(&printer_, dialogParent_);
    if (dialog.exec() != QDialog::Accepted) return false;
    return render(view);
}

bool ViewPrinting::printDirect(QWidget* view) {
    return view != nullptr && render(view);
}

void ViewPrinting::printPreview(QWidget* view) {
    if (view == nullptr) return;
    QPrintPreviewDialog dialog(&printer_, dialogParent_);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this, view](QPrinter*) { render(view); });
    dialog.exec();
}

bool ViewPrinting::render(QWidget* view) {
    QPainter painter;
    if (!painter.begin(&printer_)) return false;
    const QRect page = painter.viewport();
    const QSize size = view->size();
    if (size.isEmpty() || page.isEmpty()) return painter.end();
    const double scale = std::min(static_cast<double>(page.width()) / size.width(),
                                  static_cast<double>(page.height()) / size.height());
    painter.translate(page.x() + (page.width() - size.width() * scale) / 2,
                      page.y() + (page.height() - size.height() * scale) / 2);
    painter.scale(scale, scale);
    view->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return painter.end();
}
