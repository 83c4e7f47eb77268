#pragma once

#include "core/Result.h"
#include "core/Service.h"

#include <QString>

#include <functional>

class QPagedPaintDevice;

// Printing: a print preview from which the user prints, and PDF files. Where no printer is
// installed the preview's print button writes a PDF file instead.
class Printing : public Service<Printing>
{
public:
    // Paints every page on the device, which knows its page size and margins.
    using Painter = std::function<void(QPagedPaintDevice* device)>;

    virtual ~Printing() = default;
    // Shows the preview and waits until the user closes it.
    virtual void preview(const QString& title, const Painter& paint) = 0;
    virtual Result printToPdf(const QString& path, const QString& title, const Painter& paint) = 0;

    // Whether any printer is installed.
    virtual bool hasPrinter() const = 0;

    // The real one, whatever instance is set.
    static Printing& real();
};
