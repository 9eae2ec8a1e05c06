#pragma once
// The link statistics window: the link's counters, rates and timings refreshed by its own
// timer, and four link settings: the refresh interval, the pauses before and after each packet
// sent, and the poll sent while the link is lost. It also switches the protocol trace files,
// clears the counters and clears the link's queues.
//
// UI thread only.

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TStripChart;
class TWindowsMenuItem;

// The refresh interval at start and the least the operator may set.
constexpr int kStatIntervalMs = 1000;
constexpr int kMinStatIntervalMs = 100;
// Byte rate samples the shown rate is the mean of.
constexpr int kRateSamples = 8;
// The link's state counts, in the order the window lists them.
constexpr int kStateCounts = 10;

// "Statistics". Its placement is kept under "StatWindow": when the operator closes it, and at
// the end of the program.
class TStatisticsForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TStatisticsForm(QWidget* parent = nullptr);

    // The poll sent while the link is lost ("Force communication if disconnected").
    bool IsForceComm() const { return forceComm_; }
    // The refresh interval in ms; shown as "Update every <ms> ms.".
    void SetUpdateInterval(int ms);
    int GetUpdateInterval() const;
    // The link's pauses before and after each packet sent, in µs.
    void SetPreXmitPause(int us);
    int GetPreXmitPause() const;
    void SetPostXmitPause(int us);
    int GetPostXmitPause() const;
    // Writes the placement under "StatWindow" as it is now (visible or not).
    void SavePlacement();

    // The timer's refresh: the figures over the time since the last one.
    void Timer_StatWindowTimer();
    // A refresh over `elapsed` seconds.
    void Refresh(double elapsed);
    void BTClrStatsClick();
    void BTLogFileClick();
    void BTClrOutputBufferClick();
    void CheckBox_ForceCommClick();
    void Button_StatIntervalChangeClick();
    void Button_PreXmitPauseClick();
    void Button_PostXmitPauseClick();

    QLabel* LBAckRcvd = nullptr;
    QLabel* LBDatRcvd = nullptr;
    QLabel* LBTotBytes = nullptr;
    QLabel* LBSeqErrs = nullptr;
    QLabel* LBNumerrs = nullptr;
    QLabel* LBRetrans = nullptr;
    QLabel* LBDataSeq = nullptr;
    QLabel* LBDatarate = nullptr;
    QLabel* LBErrorRate = nullptr;
    QLabel* LBPktCount = nullptr;
    QLabel* LBPktBytes = nullptr;
    QLabel* Label_T1 = nullptr;
    QLabel* Label_T2 = nullptr;
    QLabel* Label_T3 = nullptr;
    QLabel* LBUseProtocol = nullptr;
    QLabel* LBBaudRate = nullptr;
    QPlainTextEdit* StateNames = nullptr;
    QPlainTextEdit* SGStates = nullptr;
    QPushButton* BTClrOutputBuffer = nullptr;
    TStripChart* PerformanceGraph = nullptr;
    QCheckBox* CheckBox_ForceComm = nullptr;
    QPushButton* BTClrStats = nullptr;
    QPushButton* BTLogFile = nullptr;
    QLabel* Label_StatInterval = nullptr;
    QLabel* Label_PreXmitPause = nullptr;
    QLabel* Label_PostXmitPause = nullptr;
    QPushButton* Button_StatIntervalChange = nullptr;
    QPushButton* Button_PreXmitPause = nullptr;
    QPushButton* Button_PostXmitPause = nullptr;
    QTimer* Timer_StatWindow = nullptr;

    // The graph's series.
    static constexpr int kErrorSeries = 0;
    static constexpr int kDataSeries = 1;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildCounters();
    QWidget* BuildSettings();
    QWidget* BuildStates();
    // Asks for a whole number titled `title`; the current value when the answer is not one,
    // at least `minimum`; nothing on Cancel.
    bool AskNumber(const QString& title, const QString& prompt, int current, int minimum,
                   int& answer);
    void ShowCounters(double elapsed);

    bool forceComm_ = false;
    int64_t lastReading_ = 0;
    TWindowsMenuItem* windowMenu_ = nullptr;

    // What the last refresh saw.
    std::array<int, kRateSamples> rates_{};
    int rateIndex_ = 0;
    uint32_t previousBytes_ = 0;
    uint32_t previousDuplicates_ = 0;
    uint32_t previousChecksumErrors_ = 0;
    std::array<uint32_t, kStateCounts> previousStates_{};
};
