// The metafile recorder: a paint device whose paint engine writes what a
// QPainter draws as enhanced-metafile records, so a report page is drawn
// with an ordinary QPainter and comes out as an EMF that other programs
// read and play.
//
// The picture is made for a size in pixels at the screen's resolution: the
// reference device is the screen (ScreenReferenceDevice at
// ScreenPixelsPerInch), the frame covers exactly that many pixels, and
// logical units are reference pixels (MM_TEXT). What gets written:
//  - shapes as RECTANGLE, ELLIPSE, POLYGON/POLYLINE (16-bit points when they
//    fit), lines as MOVETOEX/LINETO or POLYPOLYLINE, painter paths as
//    BEGINPATH ... ENDPATH with FILLPATH, STROKEPATH or STROKEANDFILLPATH;
//  - pens as EXTCREATEPEN (cosmetic or geometric, caps, joins, dash
//    patterns as user styles), brushes as CREATEBRUSHINDIRECT (solid,
//    hatched) or CREATEDIBPATTERNBRUSHPT (Qt's dense patterns, textures),
//    the null pen and brush as stock objects; objects live in a small
//    handle table and are deleted when evicted and at the end;
//  - text as EXTTEXTOUTW with an advance for every character taken from
//    Qt's own layout of the run, in a font from EXTCREATEFONTINDIRECTW;
//  - images as STRETCHDIBITS with a 24-bit DIB, or ALPHABLEND with a
//    premultiplied 32-bit DIB when they have transparent pixels;
//  - the painter's transform as SETWORLDTRANSFORM; the clip, in reference
//    pixels, as EXTSELECTCLIPRGN (rectangles) or a clip path.
// What GDI cannot express (gradients, translucent colours, opacity) Qt's
// painter turns into images before it reaches the engine.
//
// Coordinates in the records carry sub-pixel precision: logical units are
// a power-of-two fraction of the painter's units (about 1/16 of a device
// pixel), and the world transform scales them back.
#pragma once

#include <QByteArray>
#include <QPaintDevice>
#include <memory>

namespace emf {

class RecorderEngine;

class Recorder : public QPaintDevice {
  public:
    // A picture of widthPx x heightPx pixels at the screen's resolution
    // (negative sizes count as 0; sizes are capped at 2^20).
    Recorder(int widthPx, int heightPx);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    int WidthPx() const { return width_; }
    int HeightPx() const { return height_; }
    // The pixels per inch the picture is recorded at.
    int Dpi() const { return dpi_; }

    // Ends any painting still in progress (a painter that draws on
    // afterwards draws nothing) and returns the complete metafile: header
    // with bounds, counts and handle-table size, the records, EOF. Later
    // calls return the same bytes.
    QByteArray Finish();

    QPaintEngine* paintEngine() const override;

  protected:
    int metric(PaintDeviceMetric metric) const override;

  private:
    int width_ = 0;
    int height_ = 0;
    int dpi_ = 96;
    std::unique_ptr<RecorderEngine> engine_;
};

}  // namespace emf
