// PagePicture: one report page as the bytes of an enhanced metafile (EMF),
// with its size in pixels of the device it was recorded for. Pages are stored
// in saved-report files as exactly these bytes.
#pragma once

#include "platform/emf/header.h"

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class QPainter;
class TStream;
class TMetafileCanvas;
namespace emf {
class Picture;
class Recorder;
}  // namespace emf

class PagePicture {
  public:
    // An empty picture in the enhanced form.
    PagePicture();
    ~PagePicture();
    PagePicture(const PagePicture&) = delete;
    PagePicture& operator=(const PagePicture&) = delete;

    // The page size to record, in pixels at the screen's resolution. After a
    // load they give the size the metafile's header describes.
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    void SetWidth(int32_t px) { width_ = px; }
    void SetHeight(int32_t px) { height_ = px; }

    // True while the picture holds no metafile.
    bool Empty() const { return bytes_.isEmpty(); }
    // The metafile's bytes; empty for an empty picture.
    const QByteArray& Bytes() const { return bytes_; }
    // The parsed header of the metafile held (zeros for an empty picture).
    const emf::Header& Header() const { return header_; }

    // Writes the bytes of one EMF and nothing else. An empty picture is
    // written as a metafile that draws nothing, framed to the set size, so
    // that every stored page is a readable metafile.
    void SaveToStream(TStream& stream) const;

    // Reads exactly one EMF from the stream's position (the header, then the
    // rest of its nBytes) and leaves the stream right after it. Anything that
    // is not a complete, well-framed EMF fails with "Metafile is not valid";
    // the picture is then unchanged. A metafile longer than what the stream
    // still holds is refused before any memory is reserved for it.
    void LoadFromStream(TStream& stream);

    // Takes a complete metafile held in memory, as a standalone .emf file
    // holds it. Some writers leave the header's total size and record count
    // from a longer original: when the records end with EMR_EOF exactly at
    // the end of the data, those two fields are corrected and *repaired is
    // set. Fails with "Metafile is not valid" otherwise.
    void LoadFromBytes(const QByteArray& bytes, bool* repaired = nullptr);

    // Draws the whole page stretched into target (the painter's
    // coordinates). The metafile is parsed on the first call and the parsed
    // picture kept until the bytes change; an empty picture draws nothing.
    // A metafile whose structure is broken fails with "Metafile is not valid".
    void Draw(QPainter& painter, const QRectF& target) const;
    // The parsed picture (parsed now if it was not yet); nullptr for an
    // empty picture. Fails like Draw.
    const emf::Picture* Parsed() const;

    // Starts recording a new metafile of the set Width() x Height() pixels:
    // draw on the canvas's Painter(); destroying the canvas (or handing it
    // to CloseCanvas) completes the recording, and the picture then holds
    // it. The picture must outlive the canvas.
    std::unique_ptr<TMetafileCanvas> OpenCanvas();
    void CloseCanvas(std::unique_ptr<TMetafileCanvas> canvas);

  private:
    friend class TMetafileCanvas;
    void Adopt(QByteArray bytes, const emf::Header& header);

    mutable std::mutex parseLock_;
    mutable std::unique_ptr<emf::Picture> parsed_;

    QByteArray bytes_;
    emf::Header header_;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

// A QPainter recording onto a metafile for a page picture (see
// PagePicture::OpenCanvas).
class TMetafileCanvas {
  public:
    ~TMetafileCanvas();
    TMetafileCanvas(const TMetafileCanvas&) = delete;
    TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;

    QPainter& Painter();

  private:
    friend class PagePicture;
    explicit TMetafileCanvas(PagePicture& picture);

    PagePicture* picture_;
    std::unique_ptr<emf::Recorder> recorder_;
    std::unique_ptr<QPainter> painter_;
};
