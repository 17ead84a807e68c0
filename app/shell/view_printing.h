#pragma once
#include <QObject>
#include <QPrinter>

class QWidget;

// Printing of the image window's view, as a document view prints: the view renders
// itself onto the page, scaled to fit and centred, keeping its proportions. One printer
// set-up is kept for the program's life, so a page set-up applies to later prints.
class ViewPrinting : public QObject {
    Q_OBJECT
  public:
    explicit ViewPrinting(QWidget* dialogParent);

    // Print Setup: the page set-up dialog.
    void pageSetup();
    // Print: the print dialog, then the page. False when cancelled or nothing printed.
    bool print(QWidget* view);
    // Print direct: the page, on the current printer set-up, without a dialog.
    bool printDirect(QWidget* view);
    // Print preview: the preview dialog.
    void printPreview(QWidget* view);

    QPrinter& printer() { return printer_; }

  private:
    bool render(QWidget* view);

    QWidget* dialogParent_;
    QPrinter printer_;
};
