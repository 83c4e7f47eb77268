#include "platform/Printing.h"

#include "widgets/Form.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>

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
        // Made in memory and written through a file that takes the name only when complete:
        // the PDF writer itself does not notice a full disk.
        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&pdf);
            writer.setTitle(title);
            writer.setResolution(600);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
            paint(&writer);
        }
        if (pdf.data().isEmpty())
            return Result::failure(QStringLiteral("nothing was painted for ") + path);
        QSaveFile file(path);
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly) || file.write(pdf.data()) != pdf.data().size()) {
            const QString why = file.errorString();
            file.cancelWriting();
            file.commit();
            return Result::failure(why);
        }
        if (!file.commit())
            return Result::failure(file.errorString());
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
