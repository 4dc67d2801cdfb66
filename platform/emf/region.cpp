#include "platform/emf/region.h"

#include "platform/emf/records.h"

namespace emf {

namespace {

// Paths of clip regions this complex are left as they are: a combination
// that would go beyond is refused (and noted by the caller).
constexpr int kMaxPathElements = 200000;

}  // namespace

QRectF LimitRect() {
    return QRectF(-kCoordinateLimit, -kCoordinateLimit, 2 * kCoordinateLimit, 2 * kCoordinateLimit);
}

bool WithinLimit(const QRectF& r) {
    const double l = kCoordinateLimit;
    return r.left() >= -l && r.right() <= l && r.top() >= -l && r.bottom() <= l &&
           r.left() <= r.right() && r.top() <= r.bottom();
}

Region Region::FromRect(const QRectF& r) {
    Region g;
    g.everything_ = false;
    g.isRect_ = true;
    g.rect_ = r.normalized().intersected(LimitRect());
    return g;
}

Region Region::FromPath(const QPainterPath& p) {
    Region g;
    g.everything_ = false;
    g.isRect_ = false;
    g.path_ = p;
    return g;
}

QPainterPath Region::Path() const {
    if (everything_) return QPainterPath();
    if (isRect_) {
        QPainterPath p;
        p.addRect(rect_);
        return p;
    }
    return path_;
}

bool Region::Combine(const Region& other, uint32_t mode, const QRectF& universe) {
    if (mode == RGN_COPY) {
        *this = other;
        return true;
    }
    if (mode < RGN_AND || mode > RGN_DIFF) return false;
    // "Everything" takes part as the limit rectangle where a shape is needed.
    if (mode == RGN_AND) {
        if (other.everything_) return true;
        if (everything_) {
            *this = other;
            return true;
        }
        if (isRect_ && other.isRect_) {
            rect_ = rect_.intersected(other.rect_);
            if (rect_.isEmpty()) rect_ = QRectF();
            return true;
        }
    }
    if (mode == RGN_OR) {
        if (everything_) return true;
        if (other.everything_) {
            *this = Region();
            return true;
        }
        if (isRect_ && other.isRect_ && (rect_.contains(other.rect_) || other.rect_.isEmpty()))
            return true;
        if (isRect_ && other.isRect_ && (other.rect_.contains(rect_) || rect_.isEmpty())) {
            rect_ = other.rect_;
            return true;
        }
    }
    const QPainterPath a = everything_ ? Region::FromRect(universe).Path() : Path();
    const QPainterPath b = other.everything_ ? Region::FromRect(universe).Path() : other.Path();
    if (a.elementCount() + b.elementCount() > kMaxPathElements) return false;
    QPainterPath result;
    switch (mode) {
        case RGN_AND:
            result = a.intersected(b);
            break;
        case RGN_OR:
            result = a.united(b);
            break;
        case RGN_XOR:
            result = a.subtracted(b).united(b.subtracted(a));
            break;
        case RGN_DIFF:
            result = a.subtracted(b);
            break;
    }
    *this = FromPath(result);
    return true;
}

void Region::Translate(const QPointF& d) {
    if (everything_) return;
    if (isRect_)
        rect_.translate(d);
    else
        path_.translate(d);
}

Clip Region::ToClip() const {
    Clip c;
    c.isRect = isRect_;
    if (isRect_)
        c.rect = rect_;
    else
        c.path = path_;
    return c;
}

bool Region::operator==(const Region& o) const {
    if (everything_ != o.everything_) return false;
    if (everything_) return true;
    if (isRect_ != o.isRect_) return false;
    return isRect_ ? rect_ == o.rect_ : path_ == o.path_;
}

}  // namespace emf
