#include "reports.h"

#include "platform/emf/header.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"
#include "storage/qrstream.h"

#include <QByteArray>

namespace {

void Put(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A metafile whose one drawing record paints a black rectangle.
QByteArray PageMetafile(int w, int h, int n, int pages) {
    const emf::ReferenceDevice ref = emf::ScreenReferenceDevice(96);
    QByteArray blank = emf::MakeBlankMetafile(emf::FrameForPixels(w, h, ref), ref);
    QByteArray body;
    // SELECTOBJECT of the stock black brush (0x80000004), then RECTANGLE.
    Put(body, 37);
    Put(body, 12);
    Put(body, 0x80000004u);
    Put(body, 43);
    Put(body, 24);
    const int top = h * (n - 1) / pages;
    Put(body, w / 4);
    Put(body, top);
    Put(body, w * 3 / 4);
    Put(body, top + h / pages);
    QByteArray out = blank.left(108) + body + blank.mid(108);
    const uint32_t total = out.size();
    for (int i = 0; i < 4; ++i)
        out[48 + i] = static_cast<char>((total >> (8 * i)) & 0xFF);
    out[52] = 4;  // header, two records, EOF
    return out;
}

}  // namespace

void WriteTestReport(const QString& path, int pages, int widthPx, int heightPx) {
    TQRPageList list;
    list.SetPageStream(TQRStream::CreateInMemory(100000));
    for (int n = 1; n <= pages; ++n) {
        PagePicture picture;
        picture.LoadFromBytes(PageMetafile(widthPx, heightPx, n, pages));
        list.AppendPage(picture);
    }
    list.CompleteList();
    list.CopyToFile(path);
}
