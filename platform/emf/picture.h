// A parsed enhanced metafile: the records are read once, through the
// bounded reader, into a list of drawing operations in the picture's
// reference space; playing replays that list onto any QPainter (screen,
// image, printer, PDF, SVG) or any other output device with one transform
// for the target rectangle.
#pragma once

#include "platform/emf/device.h"
#include "platform/emf/header.h"

#include <QByteArray>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace emf {

// A record the player skipped, or drew only in part, and why. Records that
// change nothing visible on purpose (palettes, colour management, comments)
// are not noted.
struct Note {
    uint32_t record = 0;  // index in the metafile, the header being 0
    uint32_t offset = 0;  // byte offset of the record
    uint32_t type = 0;
    QString text;
};

struct PictureData;

class Picture {
  public:
    // Parses a complete metafile. Throws EInvalidGraphic ("Metafile is not
    // valid", with the reason as detail) when the header is not valid or the
    // record structure is broken. A record whose contents are unusable is
    // skipped and noted; the rest of the picture is drawn.
    explicit Picture(const QByteArray& bytes);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    const Header& GetHeader() const;
    // The picture's frame in reference pixels: what a target rectangle
    // receives, stretched on each axis.
    QRectF Frame() const;
    // The notes gathered while parsing, in record order.
    const std::vector<Note>& Notes() const;
    // The metafile carries EMF+ records and says it is not a dual file: the
    // GDI records drawn are only those the producer added for fallback.
    bool EmfPlusOnly() const;
    // The number of drawing operations the picture replays.
    size_t OperationCount() const;

    // Draws the picture with its frame stretched onto target (in the
    // painter's current coordinates). The painter's state is restored
    // afterwards; drawing stays inside target and inside the painter's clip.
    void Play(QPainter& painter, const QRectF& target) const;
    // Replays the operations onto a device; the device is told the
    // transforms from logical units to reference pixels and owns the step
    // from reference pixels to its target.
    void Replay(Device& device) const;

    // The transform that maps the frame onto target.
    QTransform FitTransform(const QRectF& target) const;

  private:
    std::unique_ptr<PictureData> d_;
};

}  // namespace emf
