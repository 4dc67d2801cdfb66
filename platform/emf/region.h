// Clip regions of the player, in reference pixels: either "everything" (no
// clip), a rectangle, or a general area held as a path. Combinations follow
// GDI's region modes; rectangles stay rectangles where they can, so that the
// common report clip (one rectangle after another) never becomes a path.
#pragma once

#include "platform/emf/device.h"

#include <QPainterPath>
#include <QRectF>

namespace emf {

// Far beyond any page, in reference pixels: the range coordinates are held
// to before they reach a rasteriser.
constexpr double kCoordinateLimit = 4194304.0;  // 2^22
QRectF LimitRect();

class Region {
  public:
    // Everything: no clip.
    Region() = default;
    static Region FromRect(const QRectF& r);
    static Region FromPath(const QPainterPath& p);

    bool IsEverything() const { return everything_; }
    bool IsRect() const { return !everything_ && isRect_; }
    const QRectF& Rect() const { return rect_; }
    // The area as a path (a rectangle's as well); empty for everything.
    QPainterPath Path() const;

    // this := this <mode> other, mode one of RGN_AND, RGN_OR, RGN_XOR,
    // RGN_DIFF, RGN_COPY. "Everything" takes part as universe where an
    // operation needs a shape for it (a rectangle well around all that can
    // show). Returns false (and leaves this alone) for an unknown mode or
    // when the result would grow past the size limit.
    bool Combine(const Region& other, uint32_t mode, const QRectF& universe = LimitRect());
    void Translate(const QPointF& d);

    // As a device clip; only valid when !IsEverything().
    Clip ToClip() const;
    bool operator==(const Region& o) const;

  private:
    bool everything_ = true;
    bool isRect_ = true;
    QRectF rect_;
    QPainterPath path_;
};

// Whether a rectangle (possibly of zero width or height) lies within the
// limit rectangle, all of its coordinates finite.
bool WithinLimit(const QRectF& r);

}  // namespace emf
