#include "storage/pagepicture.h"

#include "platform/emf/picture.h"
#include "platform/emf/recorder.h"
#include "platform/errors.h"
#include "platform/screen.h"
#include "platform/stream.h"

#include <QPainter>
#include <cstring>

PagePicture::PagePicture() = default;
PagePicture::~PagePicture() = default;

void PagePicture::Adopt(QByteArray bytes, const emf::Header& header) {
    bytes_ = std::move(bytes);
    header_ = header;
    {
        // The bytes changed: the parsed picture no longer describes them.
        std::lock_guard<std::mutex> guard(parseLock_);
        parsed_.reset();
    }
    width_ = header.WidthPx();
    height_ = header.HeightPx();
}

const emf::Picture* PagePicture::Parsed() const {
    std::lock_guard<std::mutex> guard(parseLock_);
    if (bytes_.isEmpty()) return nullptr;
    if (!parsed_) parsed_ = std::make_unique<emf::Picture>(bytes_);
    return parsed_.get();
}

void PagePicture::Draw(QPainter& painter, const QRectF& target) const {
    if (const emf::Picture* picture = Parsed()) picture->Play(painter, target);
}

void PagePicture::SaveToStream(TStream& stream) const {
    if (bytes_.isEmpty()) {
        emf::ReferenceDevice ref = emf::ScreenReferenceDevice(ScreenPixelsPerInch());
        QByteArray blank = emf::MakeBlankMetafile(emf::FrameForPixels(width_, height_, ref), ref);
        stream.WriteBuffer(blank.constData(), static_cast<int32_t>(blank.size()));
        return;
    }
    stream.WriteBuffer(bytes_.constData(), static_cast<int32_t>(bytes_.size()));
}

void PagePicture::LoadFromStream(TStream& stream) {
    const int32_t start = stream.Position();
    const int64_t remaining = int64_t(stream.Size()) - start;
    // The fixed part of the header tells the total size.
    uint8_t head[emf::kMinHeaderSize];
    if (remaining < int64_t(sizeof head) || stream.Read(head, sizeof head) != int32_t(sizeof head))
        throw EInvalidGraphic(QStringLiteral("the data ends inside the metafile header"));
    emf::Header header;
    QString why;
    if (!emf::ParseHeader(head, sizeof head, header, &why)) throw EInvalidGraphic(why);
    if (int64_t(header.bytes) > remaining)
        throw EInvalidGraphic(QStringLiteral("the metafile claims %1 bytes but only %2 remain")
                                  .arg(header.bytes)
                                  .arg(remaining));

    QByteArray bytes(static_cast<qsizetype>(header.bytes), Qt::Uninitialized);
    std::memcpy(bytes.data(), head, sizeof head);
    const int32_t rest = static_cast<int32_t>(header.bytes - sizeof head);
    if (stream.Read(bytes.data() + sizeof head, rest) != rest)
        throw EInvalidGraphic(QStringLiteral("the data ends inside the metafile"));
    if (!emf::CheckRecordFraming(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                 static_cast<size_t>(bytes.size()), &why))
        throw EInvalidGraphic(why);
    Adopt(std::move(bytes), header);
}

void PagePicture::LoadFromBytes(const QByteArray& bytes, bool* repaired) {
    if (repaired) *repaired = false;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const size_t size = static_cast<size_t>(bytes.size());
    emf::Header header;
    QString why;
    if (!emf::ParseHeader(data, size, header, &why)) throw EInvalidGraphic(why);
    if (header.bytes == size) {
        if (!emf::CheckRecordFraming(data, size, &why)) throw EInvalidGraphic(why);
        Adopt(bytes, header);
        return;
    }
    if (header.bytes < size) {
        // Trailing bytes after the metafile are not part of it.
        QByteArray own = bytes.left(static_cast<qsizetype>(header.bytes));
        if (!emf::CheckRecordFraming(data, header.bytes, &why)) throw EInvalidGraphic(why);
        Adopt(std::move(own), header);
        return;
    }
    // The header overstates the size: accept the data only when its records
    // are whole and the last is the end-of-file record.
    if (size % 4 != 0 || !emf::CheckRecordFraming(data, size, &why))
        throw EInvalidGraphic(QStringLiteral("the metafile claims %1 bytes but holds %2")
                                  .arg(header.bytes)
                                  .arg(size));
    uint32_t count = 0;
    size_t off = 0, last = 0;
    while (off < size) {
        last = off;
        off += emf::ReadU32(data + off + 4);
        ++count;
    }
    if (emf::ReadU32(data + last) != emf::EMR_EOF)
        throw EInvalidGraphic(QStringLiteral("the metafile claims %1 bytes but holds %2")
                                  .arg(header.bytes)
                                  .arg(size));
    QByteArray fixed = bytes;
    auto put = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            fixed[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(48, static_cast<uint32_t>(size));
    put(52, count);
    header.bytes = static_cast<uint32_t>(size);
    header.records = count;
    if (repaired) *repaired = true;
    Adopt(std::move(fixed), header);
}

std::unique_ptr<TMetafileCanvas> PagePicture::OpenCanvas() {
    return std::unique_ptr<TMetafileCanvas>(new TMetafileCanvas(*this));
}

void PagePicture::CloseCanvas(std::unique_ptr<TMetafileCanvas> canvas) {
    canvas.reset();
}

TMetafileCanvas::TMetafileCanvas(PagePicture& picture)
    : picture_(&picture),
      recorder_(std::make_unique<emf::Recorder>(picture.Width(), picture.Height())),
      painter_(std::make_unique<QPainter>(recorder_.get())) {}

TMetafileCanvas::~TMetafileCanvas() {
    if (painter_->isActive()) painter_->end();
    QByteArray bytes = recorder_->Finish();
    emf::Header header;
    if (emf::ParseHeader(reinterpret_cast<const uint8_t*>(bytes.constData()),
                         static_cast<size_t>(bytes.size()), header, nullptr))
        picture_->Adopt(std::move(bytes), header);
}

QPainter& TMetafileCanvas::Painter() {
    return *painter_;
}
