// The output device that draws with a QPainter: onto images, widgets,
// printers, PDF and SVG alike. Raster operations are used where the paint
// engine has them (images and pixmaps); elsewhere they fall back to the
// nearest blend mode, or to plain drawing.
#pragma once

#include "platform/emf/device.h"

#include <QPainter>

namespace emf {

class PainterDevice : public Device {
  public:
    // fit maps reference pixels to the painter's coordinates as the painter
    // stands (its own transform included); frame (reference pixels) is
    // where drawing may go.
    PainterDevice(QPainter& painter, const QTransform& fit, const QRectF& frame);

    void SetTransform(const QTransform& toReference) override;
    void SetClip(const Clip* clip) override;
    void DrawShape(const Shape& shape, const Paint& paint) override;
    void DrawText(const TextRun& run) override;
    void DrawImage(const ImageDraw& image) override;
    // Save keeps the painter's state and clips to the frame; Restore gives
    // the painter back as it was.
    void Save() override;
    void Restore() override;

  private:
    void ApplyTransform();
    void SetMode(QPainter::CompositionMode mode);
    void Forget();
    QPainter::CompositionMode Supported(QPainter::CompositionMode mode) const;

    QPainter& p_;
    QTransform fit_;
    QRectF frame_;
    QTransform xform_;
    bool xformApplied_ = false;
    bool rasterOps_ = false;
    bool blendModes_ = false;
    int levels_ = 0;

    // What the painter holds, to skip setting it again.
    bool stateKnown_ = false;
    QPen pen_;
    QBrush brush_;
    QPainter::CompositionMode mode_ = QPainter::CompositionMode_SourceOver;
    QColor background_;
};

}  // namespace emf
