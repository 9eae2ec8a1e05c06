#pragma once
// The station's configuration files: the configuration file (".das", under "Config\" in the
// program data folder) with the program settings in its model section and one section per
// device, and the unit's internal configuration file (".icf", under "InternalConfig\"), read
// only, which describes the DAS and its ports. Loading builds the port table and the devices;
// New, Open, Save and Save As run from the main window's actions.
//
// Threads: everything here runs on the UI thread.

#include <QString>

#include "platform/Prompt.h"

class TMemIniFile;

// The program settings stored in the configuration file's model section, in the order the
// file holds them (CaptureDir and CaptureToHost live on Devices and are handled here).
struct TConfigSettings {
    int useProtocol = 1;            // link protocol level, 1 or 2
    int viewStyle = 3;              // device list: 0 icons, 1 small icons, 2 list, 3 report
    int commPort = 1;               // PC COM number of the DAS link
    int baudRate = 115200;          // baud rate of the DAS link
    int sortColumn = 4;             // device list sort column, 0..12
    int seqNum = 0;                 // capture file sequence number, 0..999
    int statusInterval = 1000;      // status request interval, ms (at least 100)
    bool requestStatus = true;      // status requests on
    int statisticsInterval = 1000;  // statistics window update interval, ms (at least 100)
    int preXmitPause = 0;           // statistics window pause before transmitting, us
    int postXmitPause = 0;          // statistics window pause after transmitting, us
    int explorerViewStyle = 0;      // explorer file list view style, 0..3
    int maxPartition = 0;           // highest partition the explorer offers, 0..23

    bool operator==(const TConfigSettings&) const = default;
};

// What the configuration files need of the main window. Every call is made on the UI thread.
class IStationConfigHost {
public:
    virtual ~IStationConfigHost() = default;
    // The program settings as they stand now (written by every save; a model section's
    // missing ExplorerViewStyle and MaxPartition keep these).
    virtual TConfigSettings CurrentSettings() const = 0;
    // Applies the settings of a loaded model section, in the file's key order: Host protocol
    // level, device view style (hints shown only when not 3), DAS port and baud, sort column,
    // SetSeqNum, SetStatusInterval, the status request action with the status line refreshed
    // empty, the statistics interval and pauses, the explorer's view style and highest
    // partition. The values are already range-checked.
    virtual void ApplySettings(const TConfigSettings& settings) = 0;
    // The internal configuration was read: the count of status values may have changed, so
    // the status bar is laid out again.
    virtual void InternalConfigurationRead() {}
    // A configuration was loaded: sort the device view, update the actions, run the status
    // timer's handler once.
    virtual void ConfigurationLoaded() {}
    // Parks the link thread before the devices, channels and port table are torn down and
    // rebuilt; true when it was parked (ResumeLink then follows). False when the link is not
    // running.
    virtual bool PauseLink() { return false; }
    virtual void ResumeLink() {}
};

// The texts of the files and their questions.
inline const QString kConfigWarningText =
    QStringLiteral("This is a Wendrok Generated File... DO NOT EDIT!");
inline const QString kConfigFileFilter =
    QStringLiteral("Pelagrix/Corvane Configuration Files (*.das)|*.das");
inline const QString kInternalConfigFileFilter =
    QStringLiteral("Pelagrix/Corvane Internal Configuration Files (*.icf)|*.icf");
inline const QString kDefaultConfigFile = QStringLiteral("Config\\*.Das");
inline const QString kDefaultInternalConfigFile = QStringLiteral("InternalConfig\\*.icf");

// The configuration files of the station and the operations on them; the main window owns
// one and forwards its actions to it. Works on the globals Das, Devices, PortArray, Host
// (through the host interface) and ConfigurationChanged.
class TStationConfig {
public:
    // UI thread. `host` (not owned) is the main window. ConfigFileName starts as the data
    // folder's "Config/*.Das" (no file); the main window sets it from "INIFile".
    explicit TStationConfig(IStationConfigHost& host);
    TStationConfig(const TStationConfig&) = delete;
    TStationConfig& operator=(const TStationConfig&) = delete;

    // Full native paths. A name holding "*" counts as no file.
    QString ConfigFileName;
    QString InternalConfigFileName;

    // UI thread. True when a configuration is in force afterwards: the ".das" was read, or a
    // new configuration whose ".icf" exists waits for its first save. False ends the program
    // at start-up (the main window says "Configuration File Required -- Exiting Wendrok").
    bool LoadConfiguration();
    // UI thread. Lets the operator pick a ".das" or start a new configuration; false when the
    // operator gives up.
    bool ChooseConfigurationFile();
    // UI thread. Asks for a new ".das" name and an ".icf" and reads the ".icf"; nothing is
    // written. False when the operator cancels the ".icf" question.
    bool CreateNewConfiguration();
    // UI thread. Reads InternalConfigFileName (asking for one when it is missing): clears the
    // devices, rebuilds PortArray, fills Das. False, with nothing changed, when the operator
    // cancels the question.
    bool ReadInternalConfiguration();
    // UI thread. Writes the model section; then the devices when `force`, or when
    // ConfigurationChanged and the operator confirms; then the devices' window keys. A failed
    // write, or a name holding "*", is reported in a message box and gives false
    // (ConfigurationChanged stays set).
    bool StoreConfiguration(bool force);

    // The main window's actions (UI thread).
    // Choose a file and load it.
    void OpenConfigurationExecute();
    // A new configuration; nothing is loaded or written.
    void NewConfgurationExecute();
    // Save without forcing; a name holding "*" runs Save As instead.
    void SaveConfigurationExecute();
    // Asks for a name and saves everything to it; false when cancelled or the write failed.
    bool SaveConfigurationAsExecute();
    // Shutdown's save: Save As when the file does not exist or its name holds "*", else Save.
    void SaveOnShutdown();

    // True when ConfigFileName names an existing file and holds no "*" (shutdown writes
    // "INIFile" only then).
    bool ConfigFileExists() const { return FileExists(ConfigFileName); }
    // Any thread. True when `path` names an existing file and holds no "*".
    static bool FileExists(const QString& path);

private:
    bool SaveDevices();
    bool SaveWindowKeys();
    bool WriteModelSection();
    static QString ReadModelKey(const TMemIniFile& ini, const char* key, const QString& def);
    static QString StoredInternalConfigName(const TMemIniFile& ini);
    bool PickInternalConfiguration();
    void ReadModelSection(const TMemIniFile& ini, const QString& section);
    QString DevicePortsText() const;
    void AddDevicePorts(const QString& text);
    void AddDevices(const TMemIniFile& ini);
    void AddDeviceSections(const TMemIniFile& ini);
    bool ReportWriteFailure(bool ok) const;

    // Keeps the link thread parked while the devices, channels and port table are replaced;
    // nested guards park it once.
    class TRebuildGuard {
    public:
        explicit TRebuildGuard(TStationConfig& config) : config_(config)
        {
            if (config_.rebuildDepth_++ == 0) {
                config_.linkPaused_ = config_.host_.PauseLink();
            }
        }
        ~TRebuildGuard()
        {
            if (--config_.rebuildDepth_ == 0 && config_.linkPaused_) {
                config_.linkPaused_ = false;
                config_.host_.ResumeLink();
            }
        }
        TRebuildGuard(const TRebuildGuard&) = delete;
        TRebuildGuard& operator=(const TRebuildGuard&) = delete;

    private:
        TStationConfig& config_;
    };

    IStationConfigHost& host_;
    int rebuildDepth_ = 0;
    bool linkPaused_ = false;
};

// The file dialog options of the ".icf" question.
TFileDialogOptions InternalConfigDialogOptions(const QString& fileName);
// The data folder's sub-folder `name` (native, ending in "/"), created when missing.
QString DataSubFolder(const QString& name);

// UI thread. Installs the sample station ("InternalConfig/Demo.icf" and "Config/Demo.das" of
// the program data folder) where the files are absent; files already there are left alone.
// Returns the full path of the sample ".das", or an empty text when it could not be written.
QString InstallSampleStation();
