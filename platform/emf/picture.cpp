#include "platform/emf/picture.h"

#include "platform/emf/painterdevice.h"
#include "platform/emf/picture_p.h"
#include "platform/errors.h"

#include <cmath>

namespace emf {

Picture::Picture(const QByteArray& bytes) : d_(std::make_unique<PictureData>()) {
    d_->bytes = bytes;
    QString why;
    if (!SplitRecords(reinterpret_cast<const uint8_t*>(d_->bytes.constData()),
                      static_cast<size_t>(d_->bytes.size()), d_->structure, &why))
        throw EInvalidGraphic(why);
    const Header& h = d_->structure.header;
    // The frame (0.01 mm) in reference pixels.
    const double kx = double(h.devicePxX) / (double(h.deviceMmX) * 100.0);
    const double ky = double(h.devicePxY) / (double(h.deviceMmY) * 100.0);
    // Whole pixels, as the header's size in pixels is: a frame written for
    // a picture of 200 pixels says 5292 hundredths of a millimetre, which
    // is 200.01 pixels, and must still map pixel for pixel.
    QRectF frame(std::round(h.frame.left * kx), std::round(h.frame.top * ky), h.WidthPx(),
                 h.HeightPx());
    const RectL& b = h.bounds;
    const QRectF bounds(QPointF(b.left, b.top), QPointF(double(b.right) + 1, double(b.bottom) + 1));
    const bool haveBounds = bounds.width() > 0 && bounds.height() > 0;
    if (!(frame.width() > 0) || !(frame.height() > 0)) {
        // No frame: what was drawn, if the header says.
        frame = haveBounds ? bounds : QRectF(0, 0, 1, 1);
    } else if (haveBounds) {
        // Some writers give the frame's size right but not its place: the
        // drawing (rclBounds) lies almost wholly beside the frame, which
        // would show almost nothing. The page then keeps the frame's size,
        // placed where the drawing is.
        const QRectF common = frame.intersected(bounds);
        const double shown = common.isEmpty() ? 0 : common.width() * common.height();
        if (shown < 0.25 * bounds.width() * bounds.height() &&
            shown < 0.25 * frame.width() * frame.height())
            frame.moveTopLeft(bounds.topLeft());
    }
    d_->frame = frame;
    Interpret(*d_);
}

Picture::~Picture() = default;

const Header& Picture::GetHeader() const {
    return d_->structure.header;
}
QRectF Picture::Frame() const {
    return d_->frame;
}
const std::vector<Note>& Picture::Notes() const {
    return d_->notes;
}
bool Picture::EmfPlusOnly() const {
    return d_->emfPlusOnly;
}
size_t Picture::OperationCount() const {
    return d_->ops.size();
}

QTransform Picture::FitTransform(const QRectF& target) const {
    const QRectF& r = d_->frame;
    const double sx = target.width() / r.width(), sy = target.height() / r.height();
    return QTransform(sx, 0, 0, sy, target.left() - r.left() * sx, target.top() - r.top() * sy);
}

void Picture::Replay(Device& device) const {
    const PictureData& d = *d_;
    device.Save();
    int32_t clip = -1;
    int64_t xform = -1;
    for (const Op& op : d.ops) {
        if (op.clip != clip) {
            clip = op.clip;
            device.SetClip(clip >= 0 ? &d.clips[size_t(clip)] : nullptr);
        }
        if (op.kind != Op::kText && int64_t(op.xform) != xform) {
            xform = op.xform;
            device.SetTransform(d.xforms[op.xform]);
        }
        switch (op.kind) {
            case Op::kShape: {
                const ShapeDraw& s = d.shapes[op.index];
                device.DrawShape(s.shape, s.paint);
                break;
            }
            case Op::kText:
                device.DrawText(d.texts[op.index]);
                break;
            case Op::kImage:
                device.DrawImage(d.images[op.index]);
                break;
        }
    }
    device.Restore();
}

void Picture::Play(QPainter& painter, const QRectF& target) const {
    if (!painter.isActive() || target.isEmpty()) return;
    PainterDevice device(painter, FitTransform(target) * painter.transform(), d_->frame);
    Replay(device);
}

}  // namespace emf
