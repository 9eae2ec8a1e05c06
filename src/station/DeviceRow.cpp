// A device's row in the device list and its icons.
#include "link/Global.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"
#include "station/DeviceClasses.h"

namespace {

QString ThreeDigits(int n) { return QString::asprintf("%03d", n); }

QString OnOff(bool on) { return on ? QStringLiteral("ON") : QStringLiteral("off"); }

// The part of a stored path after its last "\".
QString FileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
}

}  // namespace

QString TDevice::CaptureToText() const
{
    const QString place = owner_ == nullptr || owner_->GetCaptureToHost() ? QStringLiteral("Host:")
                                                                          : QStringLiteral("DAS:");
    switch (captureDest_) {
    case 0:
        return QStringLiteral("Host ") + ThreeDigits(GetHostChannel());
    case 1:
        return QStringLiteral("Host ") + ThreeDigits(captureDestOther_);
    case 2:
        return place + FileNamePart(captureFilePath_);
    case 3:
        return place + FileNamePart(captureDestName_);
    default:
        return QString();
    }
}

void TDevice::UpdateListItem()
{
    // A working copy shares the live device's row but must not show its unsaved edits.
    if (item_ == nullptr || copy_) {
        return;
    }
    item_->SetSubItem(kColData - 1, OnOff(dataOn_));
    item_->SetSubItem(kColCapture - 1, OnOff(captureOn_));
    item_->SetSubItem(kColCaptureTo - 1, CaptureToText());
    const TMux* mux = GetMux();
    QString echo;
    if (mux != nullptr && mux->IsEchoOpen()) {
        echo = QStringLiteral("ON");
    } else if (echoSerial_ > 0) {
        echo = QStringLiteral("off");
    }
    item_->SetSubItem(kColEcho - 1, echo);
    item_->SetSubItem(kColEchoPort - 1, echoSerial_ > 0 ? QStringLiteral("COM%1").arg(echoSerial_)
                                                        : QStringLiteral("none"));
    if (port_ != nullptr) {
        item_->SetSubItem(kColPSeq - 1, QString::number(GetPowerOnPriority()));
        item_->SetSubItem(kColPortNo - 1, port_->GetName());
        item_->SetSubItem(kColConnNo - 1, port_->GetConnectorName());
        item_->SetSubItem(kColChanNo - 1, ThreeDigits(port_->GetHostChannel()));
    } else {
        for (int col : {kColPSeq, kColPortNo, kColConnNo, kColChanNo}) {
            item_->SetSubItem(col - 1, QString());
        }
    }
    item_->SetSubItem(kColDSeq - 1, QString::number(GetDataPriority()));
}

int TDevice::LoadIcon()
{
    TDeviceListModel* view = owner_ != nullptr ? owner_->GetListView() : nullptr;
    IDeviceImageList* images = view != nullptr ? view->Images() : nullptr;
    if (images == nullptr) {
        return -1;
    }
    const IDeviceImageList::TResult result =
        images->PutDeviceImages(imageIndex_, image_.isEmpty() ? QString() : NativePath(image_));
    if (!result.pictureRead) {
        ShowMessage(QStringLiteral("Invalid Graphic File (") + image_ +
                    QStringLiteral(") Specified for device: ") + GetName());
    }
    if (!result.overlayLoaded) {
        ShowMessage(QStringLiteral("Can not load busy overlay bitmap resource"));
    }
    imageIndex_ = result.imageIndex;
    return imageIndex_;
}
