// Printer settings read from and written to a device mode on the recording
// backend: what each device-mode field reads as, which writes a printer
// accepts, what goes back into the mode, and the failures of a reading.
#include "print/printersettings.h"
#include "platform/errors.h"
#include "recordingprinters.h"

#include <gtest/gtest.h>
#include <functional>

namespace {

// 600 dpi; A4 (code 9) measures 4960 x 7016 pixels with PHYSICALOFFSETX 100
// and PHYSICALOFFSETY 200; Letter (1) and a driver's own square paper (300);
// custom sizes; bins auto 7, top 1, tray-1 257, tray-2 258.
TRecordingPrinterBackend::Printer MeasuredPrinter() {
    auto p = OfficePrinter(QStringLiteral("Measured"));
    const TPrinterMargins margins{423, 847, 423, 847};
    p.caps.papers = {{9, 20997, 29700, margins, QStringLiteral("iso_a4_210x297mm")},
                     {1, 21590, 27940, margins, QStringLiteral("na_letter_8.5x11in")},
                     {300, 20000, 20000, margins, QStringLiteral("square")}};
    p.caps.customPapers = true;
    p.caps.bins.push_back({DMBIN_USER + 2, QStringLiteral("tray-2")});
    return p;
}

using Settings = RecordingBackendTest;

// Binds settings to a printer object on the installed printers.
struct Bound {
    TPrinter printer;
    TPrinterSettings settings;
    Bound() { settings.SetDevice(&printer); }
    TDeviceMode& Mode() {
        QString device, driver, port;
        HDEVMODE handle;
        printer.GetDevice(device, driver, port, handle);
        return handle->mode;
    }
};

TEST(PrinterSettingsUnbound, ConstructionValues) {
    TPrinterSettings s;
    EXPECT_EQ(s.Device(), nullptr);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(s.MediaWidth(), 2100);
    EXPECT_EQ(s.MediaLength(), 2970);
    EXPECT_EQ(s.Orientation(), poPortrait);
    EXPECT_EQ(s.OutputBin(), TQRBin::First);
    EXPECT_FALSE(s.Duplex());
    EXPECT_EQ(s.Copies(), 0);
    EXPECT_EQ(s.ResolutionX(), 0);
    EXPECT_EQ(s.UnprintableTop(), 0);
    s.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    s.SetCopies(3);
    s.SetOrientation(poLandscape);
    s.SetOutputBin(TQRBin::Manual);
    EXPECT_EQ(s.Copies(), 0);
    EXPECT_EQ(s.Orientation(), poPortrait);
    EXPECT_EQ(s.OutputBin(), TQRBin::First);
    s.ReadFromDevice();  // nothing to read
    s.WriteToDevice();
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    s.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Default);
    EXPECT_EQ(s.MediaWidth(), 0);
    EXPECT_EQ(s.MediaLength(), 0);
    EXPECT_FALSE(s.DeviceSupports(DM_COPIES));
}

TEST_F(Settings, BindingWithoutPrintersReadsNothing) {
    TPrinter printer;
    TPrinterSettings s;
    s.SetDevice(&printer);
    EXPECT_EQ(s.Device(), &printer);
    EXPECT_EQ(s.Copies(), 0);
    EXPECT_EQ(s.ResolutionX(), 0);
    s.SetCopies(2);
    s.SetPaperSize(TQRPaperSize::A4);
    EXPECT_EQ(s.Copies(), 0);
    EXPECT_FALSE(s.PaperAvailable(TQRPaperSize::A4));
}

struct ReadCase {
    const char* name;
    std::function<void(TDeviceMode&)> change;
    TQRPaperSize paper;
    int32_t mediaWidth, mediaLength;  // MediaWidth, MediaLength
    int32_t customWidth, customLength;
    int32_t copies;
    TQRBin bin;
    bool duplex;
};

TEST_F(Settings, ReadingTheDeviceMode) {
    const ReadCase cases[] = {
        {"driver defaults", [](TDeviceMode&) {}, TQRPaperSize::A4, 2100, 2970, 2100, 2970, 1,
         TQRBin::Auto, false},
        {"custom code reads the measured sheet",
         [](TDeviceMode& m) {
             m.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
             m.dmPaperSize = DMPAPER_USER;
             m.dmPaperWidth = 1000;
             m.dmPaperLength = 2000;
         },
         TQRPaperSize::Custom, 1000, 2000, 1000, 2000, 1, TQRBin::Auto, false},
        {"driver's own paper is Default with the measured sheet",
         [](TDeviceMode& m) { m.dmPaperSize = 300; }, TQRPaperSize::Default, 2000, 2000, 2000, 2000,
         1, TQRBin::Auto, false},
        {"no DM_PAPERSIZE", [](TDeviceMode& m) { m.dmFields &= ~DM_PAPERSIZE; },
         TQRPaperSize::Default, 2100, 2970, 2100, 2970, 1, TQRBin::Auto, false},
        {"landscape measures a turned sheet; orientation is not read",
         [](TDeviceMode& m) { m.dmOrientation = DMORIENT_LANDSCAPE; }, TQRPaperSize::A4, 2100, 2970,
         2970, 2100, 1, TQRBin::Auto, false},
        {"copies", [](TDeviceMode& m) { m.dmCopies = 3; }, TQRPaperSize::A4, 2100, 2970, 2100, 2970,
         3, TQRBin::Auto, false},
        {"copies without DM_COPIES",
         [](TDeviceMode& m) {
             m.dmCopies = 3;
             m.dmFields &= ~DM_COPIES;
         },
         TQRPaperSize::A4, 2100, 2970, 2100, 2970, 1, TQRBin::Auto, false},
        {"bin 1 is First", [](TDeviceMode& m) { m.dmDefaultSource = 1; }, TQRPaperSize::A4, 2100,
         2970, 2100, 2970, 1, TQRBin::First, false},
        {"driver's bin is First", [](TDeviceMode& m) { m.dmDefaultSource = 257; }, TQRPaperSize::A4,
         2100, 2970, 2100, 2970, 1, TQRBin::First, false},
        {"bin 14 is Cassette", [](TDeviceMode& m) { m.dmDefaultSource = 14; }, TQRPaperSize::A4,
         2100, 2970, 2100, 2970, 1, TQRBin::Cassette, false},
        {"bin without DM_DEFAULTSOURCE", [](TDeviceMode& m) { m.dmFields &= ~DM_DEFAULTSOURCE; },
         TQRPaperSize::A4, 2100, 2970, 2100, 2970, 1, TQRBin::First, false},
        {"long-edge duplex", [](TDeviceMode& m) { m.dmDuplex = DMDUP_VERTICAL; }, TQRPaperSize::A4,
         2100, 2970, 2100, 2970, 1, TQRBin::Auto, true},
        {"short-edge duplex", [](TDeviceMode& m) { m.dmDuplex = DMDUP_HORIZONTAL; },
         TQRPaperSize::A4, 2100, 2970, 2100, 2970, 1, TQRBin::Auto, true},
        {"duplex without DM_DUPLEX",
         [](TDeviceMode& m) {
             m.dmDuplex = DMDUP_VERTICAL;
             m.dmFields &= ~DM_DUPLEX;
         },
         TQRPaperSize::A4, 2100, 2970, 2100, 2970, 1, TQRBin::Auto, false},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = MeasuredPrinter();
        c.change(p.caps.defaults);
        auto backend = std::make_shared<TRecordingPrinterBackend>();
        backend->AddPrinter(p);
        backend->SetDefaultPrinter(0);
        SetPrinterBackend(backend);
        Bound b;
        const TPrinterSettings& s = b.settings;
        EXPECT_EQ(s.ResolutionX(), 600);
        EXPECT_EQ(s.ResolutionY(), 600);
        EXPECT_EQ(s.PaperSize(), c.paper);
        EXPECT_EQ(s.MediaWidth(), c.mediaWidth);
        EXPECT_EQ(s.MediaLength(), c.mediaLength);
        EXPECT_EQ(s.CustomWidth(), c.customWidth);
        EXPECT_EQ(s.CustomLength(), c.customLength);
        EXPECT_EQ(s.Copies(), c.copies);
        EXPECT_EQ(s.OutputBin(), c.bin);
        EXPECT_EQ(s.Duplex(), c.duplex);
        EXPECT_EQ(s.Orientation(), poPortrait);
        EXPECT_EQ(b.Mode().dmFields, p.caps.defaults.dmFields);
    }
}

TEST_F(Settings, MarginsFromThePhysicalOffsets) {
    Install({MeasuredPrinter()});
    Bound b;
    EXPECT_EQ(GetDeviceCaps(b.printer.DeviceContext(), PHYSICALWIDTH), 4960);
    EXPECT_EQ(GetDeviceCaps(b.printer.DeviceContext(), PHYSICALOFFSETX), 100);
    EXPECT_EQ(b.settings.UnprintableLeft(), 42);  // 100 / 600 * 254 = 42.33
    EXPECT_EQ(b.settings.UnprintableTop(), 85);   // 200 / 600 * 254 = 84.67
    EXPECT_EQ(b.settings.DeviceName(), QStringLiteral("Measured"));
    EXPECT_EQ(b.settings.DriverName(), QStringLiteral("Office Laser"));
}

TEST_F(Settings, PapersOnOffer) {
    auto p = MeasuredPrinter();
    p.caps.customPapers = false;  // the list lacks 256
    Install({p});
    Bound b;
    TPrinterSettings& s = b.settings;
    EXPECT_TRUE(s.PaperAvailable(TQRPaperSize::A4));
    EXPECT_TRUE(s.PaperAvailable(TQRPaperSize::Letter));
    EXPECT_TRUE(s.PaperAvailable(TQRPaperSize::Custom));
    EXPECT_FALSE(s.PaperAvailable(TQRPaperSize::A4Small));
    EXPECT_FALSE(s.PaperAvailable(TQRPaperSize::Default));
    s.SetPaperSize(TQRPaperSize::A4Small);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    s.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(s.MediaWidth(), 2159);
    s.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.MediaWidth(), s.CustomWidth());
}

TEST_F(Settings, CustomSheetIsWrittenWithItsFields) {
    Install({MeasuredPrinter()});
    Bound b;
    TPrinterSettings& s = b.settings;
    s.SetMediaWidth(1500);
    s.SetMediaLength(2500);
    EXPECT_EQ(s.MediaWidth(), 2100);
    EXPECT_EQ(s.CustomWidth(), 2100);
    s.SetPaperSize(TQRPaperSize::Custom);
    s.SetMediaWidth(1500);
    s.SetMediaLength(2500);
    EXPECT_EQ(s.MediaWidth(), 1500);
    EXPECT_EQ(s.MediaLength(), 2500);
    s.WriteToDevice();
    const TDeviceMode& m = b.Mode();
    EXPECT_EQ(m.dmFields & (DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PAPERSIZE),
              DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PAPERSIZE);
    EXPECT_EQ(m.dmPaperWidth, 1500);
    EXPECT_EQ(m.dmPaperLength, 2500);
    EXPECT_EQ(m.dmPaperSize, DMPAPER_USER);
    // The job is on a sheet of that size.
    b.printer.StartJob();
    EXPECT_EQ(GetDeviceCaps(b.printer.DeviceContext(), PHYSICALWIDTH), 3543);  // 150 mm at 600 dpi
    b.printer.CancelJob();
}

struct WriteCase {
    const char* name;
    std::function<void(TDeviceMode&)> device;       // the driver's default mode
    std::function<void(TPrinterSettings&)> change;  // after the reading
    std::function<void(const TDeviceMode&)> check;  // the mode after WriteToDevice
};

TEST_F(Settings, WritingTheDeviceMode) {
    const WriteCase cases[] = {
        {"duplex read as 2 goes back as 3", [](TDeviceMode& m) { m.dmDuplex = DMDUP_VERTICAL; },
         [](TPrinterSettings&) {},
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmDuplex, DMDUP_HORIZONTAL); }},
        {"simplex is left alone", [](TDeviceMode&) {}, [](TPrinterSettings&) {},
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmDuplex, DMDUP_SIMPLEX); }},
        {"First keeps the driver's bin bit (257)", [](TDeviceMode& m) { m.dmDefaultSource = 257; },
         [](TPrinterSettings&) {}, [](const TDeviceMode& m) { EXPECT_EQ(m.dmDefaultSource, 257); }},
        {"258 goes back as 257", [](TDeviceMode& m) { m.dmDefaultSource = 258; },
         [](TPrinterSettings&) {}, [](const TDeviceMode& m) { EXPECT_EQ(m.dmDefaultSource, 257); }},
        {"Last writes 14", [](TDeviceMode&) {},
         [](TPrinterSettings& s) { s.SetOutputBin(TQRBin::Last); },
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmDefaultSource, 14); }},
        {"paper code", [](TDeviceMode&) {},
         [](TPrinterSettings& s) { s.SetPaperSize(TQRPaperSize::Letter); },
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmPaperSize, 1); }},
        {"Default leaves the paper code", [](TDeviceMode& m) { m.dmPaperSize = 1; },
         [](TPrinterSettings& s) { s.SetPaperSize(TQRPaperSize::Default); },
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmPaperSize, 1); }},
        {"no paper code without DM_PAPERSIZE", [](TDeviceMode& m) { m.dmFields &= ~DM_PAPERSIZE; },
         [](TPrinterSettings& s) { s.SetPaperSize(TQRPaperSize::Letter); },
         [](const TDeviceMode& m) {
             EXPECT_EQ(m.dmPaperSize, 9);
             EXPECT_EQ(m.dmFields & DM_PAPERSIZE, 0u);
         }},
        {"copies keep their low 16 bits", [](TDeviceMode&) {},
         [](TPrinterSettings& s) { s.SetCopies(70000); },
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmCopies, static_cast<int16_t>(70000 & 0xFFFF)); }},
        {"copies, bin and orientation go in although the driver did not list them",
         [](TDeviceMode& m) { m.dmFields = DM_PRINTQUALITY | DM_YRESOLUTION; },
         [](TPrinterSettings&) {},
         [](const TDeviceMode& m) {
             EXPECT_EQ(m.dmFields, DM_PRINTQUALITY | DM_YRESOLUTION | DM_COPIES | DM_DEFAULTSOURCE |
                                       DM_ORIENTATION);
             EXPECT_EQ(m.dmCopies, 1);
             EXPECT_EQ(m.dmDefaultSource, 1);
             EXPECT_EQ(m.dmOrientation, DMORIENT_PORTRAIT);
         }},
        {"landscape", [](TDeviceMode&) {},
         [](TPrinterSettings& s) { s.SetOrientation(poLandscape); },
         [](const TDeviceMode& m) { EXPECT_EQ(m.dmOrientation, DMORIENT_LANDSCAPE); }},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = MeasuredPrinter();
        c.device(p.caps.defaults);
        auto backend = std::make_shared<TRecordingPrinterBackend>();
        backend->AddPrinter(p);
        SetPrinterBackend(backend);
        Bound b;
        c.change(b.settings);
        b.settings.WriteToDevice();
        c.check(b.Mode());
        EXPECT_EQ(b.Mode().dmFields & (DM_COPIES | DM_DEFAULTSOURCE | DM_ORIENTATION),
                  DM_COPIES | DM_DEFAULTSOURCE | DM_ORIENTATION);
    }
}

TEST_F(Settings, OrientationOnADriverWithoutIt) {
    auto p = MeasuredPrinter();
    p.caps.defaults.dmFields &= ~DM_ORIENTATION;
    Install({p});
    Bound b;
    TPrinterSettings& s = b.settings;
    s.SetOrientation(poLandscape);
    EXPECT_EQ(s.Orientation(), poPortrait);
    s.WriteToDevice();
    EXPECT_TRUE(s.DeviceSupports(DM_ORIENTATION));
    s.SetOrientation(poLandscape);
    EXPECT_EQ(s.Orientation(), poLandscape);
    s.WriteToDevice();
    EXPECT_EQ(b.Mode().dmOrientation, DMORIENT_LANDSCAPE);
    // The marks stay in the printer's mode across readings...
    s.ReadFromDevice();
    EXPECT_TRUE(s.DeviceSupports(DM_ORIENTATION));
    // ...until the driver defaults come back.
    ResetDeviceMode(b.printer);
    s.ReadFromDevice();
    EXPECT_FALSE(s.DeviceSupports(DM_ORIENTATION));
    s.SetOrientation(poPortrait);
    EXPECT_EQ(s.Orientation(), poLandscape);  // kept from before, never read from the device
}

TEST_F(Settings, WrittenSettingsReachTheJob) {
    Install({MeasuredPrinter()});
    Bound b;
    TPrinterSettings& s = b.settings;
    s.SetPaperSize(TQRPaperSize::Letter);
    s.SetOrientation(poLandscape);
    s.SetCopies(3);
    s.SetOutputBin(TQRBin::Upper);
    s.WriteToDevice();
    b.printer.SetJobTitle(QStringLiteral("Settings"));
    b.printer.StartJob();
    b.printer.EndJob();
    const TPrintSetup& job = Backend().Jobs().at(0).setup;
    EXPECT_EQ(job.paper.code, 1);
    EXPECT_TRUE(job.landscape);
    EXPECT_EQ(job.copies, 3);
    EXPECT_EQ(job.bin, QStringLiteral("top"));
    EXPECT_EQ(job.duplex, DMDUP_SIMPLEX);
}

TEST_F(Settings, DeviceModeReachedOnlyOnTheSecondAsk) {
    auto p = MeasuredPrinter();
    p.emptyModeAnswers = 1;
    p.caps.defaults.dmCopies = 4;
    Install({p});
    Bound b;
    EXPECT_TRUE(b.settings.ModeHandle());
    EXPECT_TRUE(b.settings.DeviceSupports(DM_COPIES));
    EXPECT_EQ(b.settings.Copies(), 4);
}

TEST_F(Settings, NoDeviceModeReachable) {
    auto p = MeasuredPrinter();
    p.emptyModeAnswers = 1000000;
    p.caps.defaults.dmCopies = 4;
    p.caps.defaults.dmDuplex = DMDUP_VERTICAL;
    p.caps.defaults.dmDefaultSource = DMBIN_AUTO;
    Install({p});
    Bound b;
    TPrinterSettings& s = b.settings;
    EXPECT_FALSE(s.ModeHandle());
    EXPECT_FALSE(s.DeviceSupports(DM_COPIES));
    EXPECT_EQ(s.Copies(), 1);
    EXPECT_EQ(s.OutputBin(), TQRBin::First);
    EXPECT_FALSE(s.Duplex());
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Default);
    EXPECT_EQ(s.ResolutionX(), 600);
    EXPECT_EQ(s.CustomWidth(), 2100);
    EXPECT_TRUE(s.PaperAvailable(TQRPaperSize::A4));
    s.SetCopies(2);
    EXPECT_EQ(s.Copies(), 1);
    s.WriteToDevice();  // nothing to write into
    EXPECT_FALSE(s.DeviceSupports(DM_COPIES));
}

TEST_F(Settings, FailingPaperListStopsTheReading) {
    Install({MeasuredPrinter()});
    Bound b;
    TPrinterSettings& s = b.settings;
    ASSERT_TRUE(s.PaperAvailable(TQRPaperSize::Letter));
    Backend().PrinterAt(0).paperQueryFails = true;
    b.Mode().dmPaperSize = 1;
    b.Mode().dmCopies = 7;
    EXPECT_EQ(ErrorOf([&] { s.ReadFromDevice(); }), QStringLiteral("Range check error"));
    // The steps before the paper list took effect; the flags are the old ones.
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(s.Copies(), 7);
    EXPECT_TRUE(s.PaperAvailable(TQRPaperSize::Letter));
    EXPECT_FALSE(s.PaperAvailable(TQRPaperSize::A4Small));
    EXPECT_EQ(s.ModeHandle()->locks, 0);
}

TEST_F(Settings, ZeroDotsPerInchFailsClearly) {
    auto p = MeasuredPrinter();
    p.caps.resolutions.clear();
    p.caps.defaults.dmPrintQuality = 0;
    p.caps.defaults.dmYResolution = 0;
    Install({p});
    TPrinter printer;
    TPrinterSettings s;
    EXPECT_EQ(ErrorOf([&] { s.SetDevice(&printer); }),
              QStringLiteral("Printer \"Measured\" reports a resolution of 0 x 0 dots per inch"));
    ASSERT_TRUE(s.ModeHandle());
    EXPECT_EQ(s.ModeHandle()->locks, 0);
    EXPECT_EQ(s.UnprintableLeft(), 0);
}

TEST(ZEZoravozSettings, ConstructionValuesAndPlainStorage) {
    TZEZoravozSettings z;
    EXPECT_EQ(z.Copies(), 1);
    EXPECT_FALSE(z.Duplex());
    EXPECT_EQ(z.Orientation(), poPortrait);
    EXPECT_EQ(z.OutputBin(), TQRBin::Auto);
    EXPECT_EQ(z.PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(z.SelectedIndex(), -1);
    EXPECT_TRUE(z.DocumentTitle().isEmpty());
    EXPECT_EQ(z.FirstPage(), 0);
    EXPECT_EQ(z.LastPage(), 0);
    z.SetCopies(-5);  // no checks
    z.SetSelectedIndex(42);
    EXPECT_EQ(z.Copies(), -5);
    EXPECT_EQ(z.SelectedIndex(), 42);
}

}  // namespace
