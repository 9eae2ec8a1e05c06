#pragma once
// The master directory dialog: where captured data goes, to the master capture folder on the
// PC or to the DAS, and which folder that is.
//
// UI thread only.

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TBrowseFolders;

// "Master Directory": edits the device list's CaptureDir and CaptureToHost; OK (result 1)
// applies both, Cancel (result 2) changes nothing.
class TMasterPath : public QDialog {
    Q_OBJECT
public:
    explicit TMasterPath(QWidget* parent = nullptr);

    // The selected item of "Data Destination for Captured Data": 0 host, 1 DAS.
    int DestinationIndex() const;
    void SetDestinationIndex(int index);

    void FormShow();
    void RadioGroup_DestinationClick();
    void Button_ChoosePathClick();
    void Button_DefaultClick();

    QGroupBox* RadioGroup_Destination = nullptr;
    QRadioButton* Radio_Host = nullptr;
    QRadioButton* Radio_DAS = nullptr;
    QLineEdit* Edit_MasterPath = nullptr;
    QPushButton* Button_ChoosePath = nullptr;
    QPushButton* Button_Default = nullptr;
    QPushButton* Button_OK = nullptr;
    QPushButton* Button_Cancel = nullptr;

    // Ends the dialog; with OK's result the choices go to the device list.
    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TBrowseFolders* browse_ = nullptr;
};
