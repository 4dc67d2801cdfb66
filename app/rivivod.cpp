#include "app/rivivod.h"

#include "app/qrextra.h"
#include "platform/application.h"
#include "preview/api/exportfilter.h"

#include <QFileDialog>
#include <QPushButton>

TRivivodF::TRivivodF(const QStringList& arguments, QWidget* parent)
    : QWidget(parent), arguments_(arguments) {
    setObjectName(QStringLiteral("RivivodF"));
    setWindowTitle(QStringLiteral("Vorlaxa"));
    setGeometry(405, 216, 208, 84);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);

    bOpen_ = new QPushButton(QStringLiteral("Odpri"), this);
    bOpen_->setObjectName(QStringLiteral("bOpen"));
    bOpen_->setGeometry(12, 12, 75, 25);
    connect(bOpen_, &QPushButton::clicked, this,
            [this] { RunShowingErrors([this] { bOpenClick(); }); });

    openDialog_ = new QFileDialog(this);
    openDialog_->setObjectName(QStringLiteral("OpenDialog1"));
    openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    openDialog_->setNameFilters(
        DialogFiltersForQt(QStringLiteral("QR Poročila (*.qrp)|*.qrp|Vse datoteke|*.*")));
    openDialog_->setDefaultSuffix(QStringLiteral("qrp"));
}

void TRivivodF::FormCreate() {
    if (arguments_.isEmpty()) return;
    TQRPHandler handler;
    handler.SetFileName(arguments_.first());
    handler.RunPreview();
    if (auto* app = TApplication::Instance()) app->Terminate();
}

void TRivivodF::bOpenClick() {
    if (openDialog_->exec() != QDialog::Accepted || openDialog_->selectedFiles().isEmpty()) return;
    TQRPHandler handler;
    handler.SetFileName(openDialog_->selectedFiles().first());
    handler.RunPreview();
}
