// The output device that writes one readable line per call instead of
// drawing: golden lines for tests, and the --trace aid for bug reports.
#pragma once

#include "platform/emf/device.h"

#include <QStringList>

namespace emf {

class TraceDevice : public Device {
  public:
    void SetTransform(const QTransform& toReference) override;
    void SetClip(const Clip* clip) override;
    void DrawShape(const Shape& shape, const Paint& paint) override;
    void DrawText(const TextRun& run) override;
    void DrawImage(const ImageDraw& image) override;
    void Save() override;
    void Restore() override;

    const QStringList& Lines() const { return lines_; }

    // The pieces of a line, also used by the dump: numbers with at most
    // three decimals, colours as #rrggbb, pens and brushes in words.
    static QString Number(double v);
    static QString Rect(const QRectF& r);
    static QString PenText(const QPen& pen);
    static QString BrushText(const QBrush& brush);

  private:
    QStringList lines_;
};

}  // namespace emf
