#include "platform/Printing.h"

#include "platform/Form.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>

namespace {

void setUp(QPrinter& printer, const QString& title)
{
    printer.setDocName(title);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

class QtPrinting final : public Printing
{
public:
    void preview(const QString& title, const Painter& paint) override
    {
        QPrinter printer(QPrinter::HighResolution);
        setUp(printer, title);
        if (!hasPrinter()) {
            // Qt's preview asks for a file name when its printer writes PDF.
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QDir::home().filePath(title + QStringLiteral(".pdf")));
        }
        QWidget* parent = QApplication::activeWindow();
        if (!parent)
            parent = Form::lastActive();
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setObjectName(QStringLiteral("PrintPreview"));
        dialog.setWindowTitle(title);
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&paint](QPrinter* p) { paint(p); });
        dialog.resize(760, 820);
        dialog.exec();
    }

    Result printToPdf(const QString& path, const QString& title, const Painter& paint) override
    {
        // Written beside under another name and renamed when complete, so that a full disk
        // leaves no half-written file under the chosen name.
        const QString part = path + QStringLiteral(".part");
        {
            QPrinter printer(QPrinter::HighResolution);
            setUp(printer, title);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(part);
            paint(&printer);
            // QPrinter reports a file it could not write only through its state.
            if (printer.printerState() == QPrinter::Error || QFileInfo(part).size() == 0) {
                QFile::remove(part);
                return Result::failure(QStringLiteral("the PDF file could not be written: ") + path);
            }
        }
        if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
            QFile::remove(part);
            return Result::failure(QStringLiteral("the PDF file could not take its name: ") + path);
        }
        return Result::success();
    }

    bool hasPrinter() const override { return !QPrinterInfo::availablePrinterNames().isEmpty(); }
};

} // namespace

Printing& Printing::real()
{
    static QtPrinting real;
    return real;
}
