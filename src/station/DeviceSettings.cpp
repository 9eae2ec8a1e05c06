// A device's settings in its INI section: write, write the window keys, read back.
#include <QFileInfo>
#include <algorithm>

#include "link/Global.h"
#include "platform/IniFile.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"

namespace {

// A value never carries a line break into the file, where it would split the line.
QString OneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

// Enumerations keep the low 8 bits as a signed value and are clamped into their range.
int8_t ClampedEnum(int stored, int highest)
{
    return static_cast<int8_t>(std::clamp<int>(static_cast<int8_t>(stored & 0xFF), 0, highest));
}

// A stored path that would leave its folder is replaced by `used`; the operator is told.
void ReportRefusedPath(const QString& what, const QString& value, const QString& device,
                       const QString& used)
{
    ShowMessage(what + QLatin1Char('"') + value + QStringLiteral("\" of ") + device +
                QStringLiteral(" does not stay inside its folder; \"") + used +
                QStringLiteral("\" is used instead."));
}

class TSectionWriter {
public:
    TSectionWriter(TMemIniFile& ini, const QString& section) : ini_(ini), section_(section) {}
    void S(const char* key, const QString& v) { ini_.WriteString(section_, Key(key), OneLine(v)); }
    void I(const char* key, int v) { ini_.WriteInteger(section_, Key(key), v); }
    void B(const char* key, bool v) { ini_.WriteBool(section_, Key(key), v); }
    void F(const char* key, double v) { ini_.WriteFloat(section_, Key(key), v); }
    void L(const char* key, const QStringList& v) { S(key, LinesToCommaText(v)); }

private:
    static QString Key(const char* key) { return QLatin1String(key); }
    TMemIniFile& ini_;
    QString section_;
};

class TSectionReader {
public:
    TSectionReader(const TMemIniFile& ini, const QString& section) : ini_(ini), section_(section) {}
    QString S(const char* key, const QString& v) const
    {
        return ini_.ReadString(section_, Key(key), v);
    }
    int I(const char* key, int v) const { return ini_.ReadInteger(section_, Key(key), v); }
    bool B(const char* key, bool v) const { return ini_.ReadBool(section_, Key(key), v); }
    double F(const char* key, double v) const { return ini_.ReadFloat(section_, Key(key), v); }
    QStringList L(const char* key, const QStringList& v) const
    {
        return ini_.ValueExists(section_, Key(key))
                   ? CommaTextToLines(ini_.ReadString(section_, Key(key), QString()))
                   : v;
    }

private:
    static QString Key(const char* key) { return QLatin1String(key); }
    const TMemIniFile& ini_;
    QString section_;
};

}  // namespace

void TDevice::SaveSettings(TMemIniFile& ini) const
{
    if (port_ == nullptr) {
        return;
    }
    TSectionWriter w(ini, GetName());
    w.S("Image", StoredPath(MakeDataRelativePath(image_)));
    w.S("Port", port_->GetName());
    w.I("PortBaud", portBaud_);
    w.S("PortSettings", portSettings_);
    w.I("EchoSerial", echoSerial_);
    w.I("EchoBaud", echoBaud_);
    w.S("EchoSettings", echoSettings_);
    w.I("EchoFlow", echoFlow_);
    w.I("PowerOnPriority", GetPowerOnPriority());
    w.I("PowerOnDelay", GetPowerOnDelay());
    w.B("PowerOnCmd", powerOnCmd_);
    w.I("PowerOnCmdWait", powerOnCmdWait_);
    w.L("CmdPowerOn", cmdPowerOn_);
    w.B("PowerOffCmd", powerOffCmd_);
    w.I("PowerOffCmdWait", powerOffCmdWait_);
    w.L("CmdPowerOff", cmdPowerOff_);
    w.I("CollectionType", collectionType_);
    w.I("PacketPause", packetPause_);
    w.L("CmdGetData", cmdGetData_);
    w.L("CmdStart", cmdStart_);
    w.I("CmdStartDelay", cmdStartDelay_);
    w.L("CmdStop", cmdStop_);
    w.I("CmdStopDelay", cmdStopDelay_);
    w.I("StartDataCapture", startDataCapture_);
    w.I("StartAfterDelay", startAfterDelay_);
    w.L("CmdGetSavedData", cmdGetSavedData_);
    w.I("StopDataCapture", stopDataCapture_);
    w.I("StopAfterDelay", stopAfterDelay_);
    w.S("StartPrefix", startPrefix_);
    w.S("StopSuffix", stopSuffix_);
    w.S("Prefix", prefix_);
    w.S("Suffix", suffix_);
    w.S("DateStampInfix", dateStampInfix_);
    w.I("DateStampFormat", dateStampFormat_);
    w.S("TimeStampInfix", timeStampInfix_);
    w.I("CaptureDest", captureDest_);
    w.I("CaptureDestOther", captureDestOther_);
    w.S("CaptureDestName", captureDestName_);
    w.B("CaptureDestAppend", captureDestAppend_);
    w.B("DoAveraging", doAveraging_);
    w.I("AvgNumSamples", avgNumSamples_);
    w.I("AvgPause", avgPause_);
    w.I("FreqDuration", freqDuration_);
    WriteTerminalKeys(ini, GetName());
}

void TDevice::WriteTerminalKeys(TMemIniFile& ini, const QString& section) const
{
    const IDeviceTerminal* terminal = GetTerminal();
    if (terminal == nullptr) {
        return;
    }
    TSectionWriter w(ini, section);
    w.F("HexWidth", terminal->GetHexWidth());
    w.I("HexWrap", terminal->GetHexWrap());
    w.S("HexWrapString", terminal->GetHexWrapString());
    const TTerminalFont font = terminal->GetFont();
    w.I("FontCharset", font.charset);
    w.I("FontColor", font.color);
    w.S("FontName", font.name);
    w.I("FontSize", font.size);
    w.B("FontStyleBold", font.bold);
    w.B("FontStyleItalic", font.italic);
    w.B("FontStyleUnderline", font.underline);
    w.B("FontStyleStrikeOut", font.strikeOut);
}

void TDevice::SaveWindowSettings(TMemIniFile& ini) const
{
    const IDeviceTerminal* terminal = GetTerminal();
    if (terminal == nullptr) {
        return;
    }
    const QRect g = terminal->WindowGeometry();
    TSectionWriter w(ini, GetName());
    w.F("Height", PlacementValueY(g.height()));
    w.F("Left", PlacementValueX(g.left()));
    w.F("Top", PlacementValueY(g.top()));
    w.F("Width", PlacementValueX(g.width()));
    w.I("WindowState", terminal->GetWindowState());
    w.B("Visible", terminal->IsWindowVisible());
}

bool TDevice::LoadSettings(const TMemIniFile& ini, bool import, const QString& sectionName)
{
    const QString section = sectionName.isEmpty() ? GetName() : sectionName;
    const TSectionReader r(ini, section);

    const QString defaultImage = QStringLiteral("Icons\\Tavo.bmp");
    const QString storedImage = r.S("Image", defaultImage);
    bool refused = false;
    image_ = ExpandStoredDataPath(storedImage, defaultImage, &refused);
    if (refused) {
        ReportRefusedPath(QStringLiteral("Icon file "), storedImage, section, defaultImage);
    }
    if (!import && !image_.isEmpty() && QFileInfo::exists(NativePath(image_))) {
        LoadIcon();
        SetBusy(busy_);  // the row shows the icon (or its busy variant)
    }
    ReadWindowKeys(ini, section);
    ReadEchoKeys(ini, section);

    if (!import) {
        TPortArray* table = port_ != nullptr ? &port_->GetOwner() : PortArray;
        TPort* port =
            table != nullptr ? table->FindPort(r.S("Port", QStringLiteral("No Port"))) : nullptr;
        // A port keeps at most one device: one already held counts as not found.
        if (port != nullptr && port->GetDevice() != nullptr && port->GetDevice() != this) {
            port = nullptr;
        }
        SetPort(port);
        if (port_ == nullptr) {
            ShowMessage(QStringLiteral("Can not find port for ") + section);
            if (owner_ != nullptr && owner_->IndexOf(this) >= 0) {
                owner_->Delete(this);  // nothing of this device may be touched from here on
            }
            return false;
        }
    }

    portBaud_ = r.I("PortBaud", portBaud_);
    portSettings_ = r.S("PortSettings", portSettings_).left(kPortSettingsChars);

    if (!import) {
        SetPowerOnPriority(r.I("PowerOnPriority", GetPowerOnPriority()));
        SetPowerOnDelay(r.I("PowerOnDelay", GetPowerOnDelay()));
    }
    ReadCommandKeys(ini, section);
    ReadCaptureKeys(ini, section);
    ReadTerminalKeys(ini, section);
    UpdateListItem();
    return true;
}

void TDevice::ReadWindowKeys(const TMemIniFile& ini, const QString& section)
{
    const TSectionReader r(ini, section);
    const int index = item_ != nullptr ? std::max(item_->Index(), 0) : 0;
    const double offset = kTerminalCascadeFraction * index;
    height_ = FractionToPixelsY(r.F("Height", kTerminalSizeFraction));
    left_ = FractionToPixelsX(r.F("Left", offset));
    top_ = FractionToPixelsY(r.F("Top", offset));
    width_ = FractionToPixelsX(r.F("Width", kTerminalSizeFraction));
    windowState_ = static_cast<uint8_t>(r.I("WindowState", 0) & 0xFF);
    visible_ = r.B("Visible", true);
    placementStored_ = ini.ValueExists(section, QStringLiteral("Left")) ||
                       ini.ValueExists(section, QStringLiteral("Top"));
}

void TDevice::ReadEchoKeys(const TMemIniFile& ini, const QString& section)
{
    const TSectionReader r(ini, section);
    echoSerial_ = r.I("EchoSerial", echoSerial_);
    echoBaud_ = r.I("EchoBaud", echoBaud_);
    echoSettings_ = r.S("EchoSettings", echoSettings_).left(kPortSettingsChars);
    echoFlow_ = static_cast<int8_t>(r.I("EchoFlow", echoFlow_) & 0xFF);
}

void TDevice::ReadCommandKeys(const TMemIniFile& ini, const QString& section)
{
    const TSectionReader r(ini, section);
    powerOnCmd_ = r.B("PowerOnCmd", powerOnCmd_);
    powerOnCmdWait_ = r.I("PowerOnCmdWait", powerOnCmdWait_);
    cmdPowerOn_ = r.L("CmdPowerOn", cmdPowerOn_);
    powerOffCmd_ = r.B("PowerOffCmd", powerOffCmd_);
    powerOffCmdWait_ = r.I("PowerOffCmdWait", powerOffCmdWait_);
    cmdPowerOff_ = r.L("CmdPowerOff", cmdPowerOff_);
    collectionType_ = ClampedEnum(r.I("CollectionType", collectionType_), 2);
    packetPause_ = r.I("PacketPause", packetPause_);
    cmdGetData_ = r.L("CmdGetData", cmdGetData_);
    cmdStart_ = r.L("CmdStart", cmdStart_);
    cmdStartDelay_ = r.I("CmdStartDelay", cmdStartDelay_);
    cmdStop_ = r.L("CmdStop", cmdStop_);
    cmdStopDelay_ = r.I("CmdStopDelay", cmdStopDelay_);
    startDataCapture_ = ClampedEnum(r.I("StartDataCapture", startDataCapture_), 5);
    startAfterDelay_ = r.I("StartAfterDelay", startAfterDelay_);
    cmdGetSavedData_ = r.L("CmdGetSavedData", cmdGetSavedData_);
    stopDataCapture_ = ClampedEnum(r.I("StopDataCapture", stopDataCapture_), 5);
    stopAfterDelay_ = r.I("StopAfterDelay", stopAfterDelay_);
}

void TDevice::ReadCaptureKeys(const TMemIniFile& ini, const QString& section)
{
    const TSectionReader r(ini, section);
    startPrefix_ = r.S("StartPrefix", startPrefix_);
    stopSuffix_ = r.S("StopSuffix", stopSuffix_);
    prefix_ = r.S("Prefix", prefix_);
    suffix_ = r.S("Suffix", suffix_);
    dateStampInfix_ = r.S("DateStampInfix", dateStampInfix_);
    dateStampFormat_ = r.I("DateStampFormat", dateStampFormat_);
    timeStampInfix_ = r.S("TimeStampInfix", timeStampInfix_);
    captureDest_ = ClampedEnum(r.I("CaptureDest", captureDest_), 3);
    captureDestOther_ = r.I("CaptureDestOther", captureDestOther_);
    const QString name = r.S("CaptureDestName", captureDestName_);
    if (IsSafeRelativePath(name)) {
        captureDestName_ = name;
    } else {
        // A name that would reach outside the capture folder is never used for a file. The
        // default follows the name the device carries: an import may have refused the
        // section's.
        const QString device = GetName().isEmpty() ? section : GetName();
        captureDestName_ = DefaultCaptureDestName(device);
        ReportRefusedPath(QStringLiteral("Capture file name "), name, device, captureDestName_);
    }
    UpdateCaptureFilePath();
    captureDestAppend_ = r.B("CaptureDestAppend", captureDestAppend_);
    doAveraging_ = r.B("DoAveraging", doAveraging_);
    avgNumSamples_ = r.I("AvgNumSamples", avgNumSamples_);
    avgPause_ = r.I("AvgPause", avgPause_);
    freqDuration_ = r.I("FreqDuration", freqDuration_);
}

void TDevice::ReadTerminalKeys(const TMemIniFile& ini, const QString& section)
{
    IDeviceTerminal* terminal = GetTerminal();
    if (terminal == nullptr) {
        return;
    }
    const TSectionReader r(ini, section);
    terminal->SetViewSplit(r.F("HexWidth", terminal->GetHexWidth()));
    terminal->SetHexWrap(r.I("HexWrap", terminal->GetHexWrap()));
    terminal->SetHexWrapString(r.S("HexWrapString", terminal->GetHexWrapString()));
    TTerminalFont font = terminal->GetFont();
    font.charset = r.I("FontCharset", font.charset);
    font.color = r.I("FontColor", font.color);
    font.name = r.S("FontName", font.name);
    font.size = r.I("FontSize", font.size);
    font.bold = r.B("FontStyleBold", font.bold);
    font.italic = r.B("FontStyleItalic", font.italic);
    font.underline = r.B("FontStyleUnderline", font.underline);
    font.strikeOut = r.B("FontStyleStrikeOut", font.strikeOut);
    terminal->SetFont(font);
}
