// The inside of a parsed picture: the operation list the interpreter fills
// and the players replay. Not for use outside platform/emf/.
#pragma once

#include "platform/emf/device.h"
#include "platform/emf/picture.h"
#include "platform/emf/reader.h"

#include <QByteArray>
#include <vector>

namespace emf {

struct ShapeDraw {
    Shape shape;
    Paint paint;
};

// One step of the replay. Each names the transform and the clip in force,
// so a device is told about them only when they change.
struct Op {
    enum Kind : uint8_t { kShape, kText, kImage };
    Kind kind = kShape;
    int32_t clip = -1;   // index in clips, -1: none
    uint32_t xform = 0;  // index in xforms
    uint32_t index = 0;  // index in shapes, texts or images
};

struct PictureData {
    QByteArray bytes;  // the metafile, which the record views point into
    Structure structure;
    QRectF frame;
    bool emfPlusOnly = false;

    std::vector<Op> ops;
    std::vector<ShapeDraw> shapes;
    std::vector<TextRun> texts;
    std::vector<ImageDraw> images;
    std::vector<QTransform> xforms;
    std::vector<Clip> clips;
    std::vector<Note> notes;
};

// Runs the records of d.structure and fills the operation list and notes.
void Interpret(PictureData& d);

}  // namespace emf
