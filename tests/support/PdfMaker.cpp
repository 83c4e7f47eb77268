#include "support/PdfMaker.h"

#include <QByteArray>
#include <QFile>

#include <cairo-pdf.h>
#include <cairo.h>

namespace {
constexpr double PageWidth = 595;
constexpr double PageHeight = 842;
constexpr double Margin = 56;
constexpr double FontSize = 11;
constexpr double LineHeight = 16;
} // namespace

namespace PdfMaker {

bool write(const QString& path, const QList<QStringList>& pages, const QList<OutlineEntry>& outline, QString* error)
{
    const QByteArray file = QFile::encodeName(path);
    cairo_surface_t* surface = cairo_pdf_surface_create(file.constData(), PageWidth, PageHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_select_font_face(cr, "Noto Sans CJK JP", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, FontSize);
    for (int p = 0; p < pages.size(); ++p) {
        double y = Margin;
        for (const QString& line : pages.at(p)) {
            cairo_move_to(cr, Margin, y);
            cairo_show_text(cr, line.toUtf8().constData());
            y += LineHeight;
        }
        cairo_show_page(cr);
    }
    // Each entry hangs under the last one of the level above it.
    QList<int> parents{CAIRO_PDF_OUTLINE_ROOT};
    for (const OutlineEntry& entry : outline) {
        const int level = qBound(0, entry.level, int(parents.size()) - 1);
        const QByteArray link =
            QStringLiteral("page=%1 pos=[%2 %3]").arg(entry.page + 1).arg(Margin).arg(Margin).toUtf8();
        const int id = cairo_pdf_surface_add_outline(surface, parents.at(level), entry.title.toUtf8().constData(),
                                                     link.constData(), cairo_pdf_outline_flags_t(0));
        parents.resize(level + 1);
        parents.append(id);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS && error)
        *error = QString::fromUtf8(cairo_status_to_string(status));
    return status == CAIRO_STATUS_SUCCESS;
}

bool writeLocked(const QString& path)
{
    // The standard security handler with a user password check that no empty password passes.
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    auto object = [&](const QByteArray& body) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    object("<< /Filter /Standard /V 1 /R 2 /O <" + QByteArray(64, 'a') + "> /U <" + QByteArray(64, 'b') +
           "> /P -44 >>");
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype at : offsets)
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    pdf +=
        "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) +
        " /Root 1 0 R /Encrypt 4 0 R /ID [<0123456789abcdef0123456789abcdef> <0123456789abcdef0123456789abcdef>] >>\n";
    pdf += "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(pdf) == pdf.size();
}

} // namespace PdfMaker
