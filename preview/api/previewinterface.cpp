#include "preview/api/previewinterface.h"

QWidget* TQRPreviewInterface::OpenPreview(TZEZoravoz*) {
    return nullptr;
}
QWidget* TQRPreviewInterface::OpenPreviewModal(TZEZoravoz*) {
    return nullptr;
}

TQRPreviewInterfaceClass PreviewInterfaceClass;

namespace {
TQRPreviewInterfaceClass& Registered() {
    static TQRPreviewInterfaceClass type;
    return type;
}
}  // namespace

TQRPreviewInterfaceClass InitialPreviewInterfaceClass() {
    if (Registered()) return Registered();
    return PreviewClassOf<TQRPreviewInterface>();
}

void RegisterInitialPreviewInterfaceClass(TQRPreviewInterfaceClass type) {
    Registered() = std::move(type);
}
