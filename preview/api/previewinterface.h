// The preview-window factory. The report printer never names the class of
// its preview window: it makes a short-lived factory object of the type held
// in PreviewInterfaceClass and asks it to open a window for the printer.
#pragma once

#include <functional>
#include <memory>

class QWidget;
class TZEZoravoz;

class TQRPreviewInterface {
  public:
    virtual ~TQRPreviewInterface() = default;
    // Opens a preview window for the printer without waiting for it to
    // close and returns the window. The base opens nothing.
    virtual QWidget* OpenPreview(TZEZoravoz* printer);
    // Opens a preview window and returns only once it has closed. The base
    // opens nothing.
    virtual QWidget* OpenPreviewModal(TZEZoravoz* printer);
};

// A factory type: something that constructs a fresh factory object.
using TQRPreviewInterfaceClass = std::function<std::unique_ptr<TQRPreviewInterface>()>;

// The factory type the report printer instantiates when no preview hook is
// set. Set at the report module's start to InitialPreviewInterfaceClass().
extern TQRPreviewInterfaceClass PreviewInterfaceClass;

// The type the report module installs at its start: the standard preview
// window once the preview layer has registered it, the base type before.
TQRPreviewInterfaceClass InitialPreviewInterfaceClass();
void RegisterInitialPreviewInterfaceClass(TQRPreviewInterfaceClass type);

// A factory type for a class C derived from TQRPreviewInterface.
template <class C>
TQRPreviewInterfaceClass PreviewClassOf() {
    return [] { return std::unique_ptr<TQRPreviewInterface>(new C()); };
}
