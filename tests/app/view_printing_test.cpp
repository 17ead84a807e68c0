// Printing a view: the page holds the view's own painting, scaled onto the page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>

#include "shell/view_printing.h"

namespace {

// A view that paints a known picture: white with a black square.
class SquareView : public QWidget {
  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.fillRect(QRect(10, 10, 40, 40), Qt::black);
    }
};

int argc = 1;
char name[] = "view_printing_test";
char* argv[] = {name, nullptr};

TEST(ViewPrinting, PrintsTheViewToTheChosenPrinterWithoutADialog) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ViewPrinting printing(nullptr);
    const QString pdf = dir.filePath(QStringLiteral("view.pdf"));
    printing.printer().setOutputFormat(QPrinter::PdfFormat);
    printing.printer().setOutputFileName(pdf);

    SquareView view;
    view.resize(200, 100);
    EXPECT_FALSE(printing.printDirect(nullptr));
    EXPECT_FALSE(QFile::exists(pdf));
    ASSERT_TRUE(printing.printDirect(&view));

    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    // One page.
    EXPECT_EQ(bytes.count("/Type /Page\n"), 1);
}

}  // namespace
