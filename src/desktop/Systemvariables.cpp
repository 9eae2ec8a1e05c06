#include "desktop/Systemvariables.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstring>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Das.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"

namespace {

// The designed compact client area, the buttons' row and the advanced edits' column; the
// window grows past them where the font needs more room.
constexpr int kCompactWidth = 414;
constexpr int kCompactHeight = 165;
constexpr int kButtonsTop = 129;
constexpr int kCompactBottomMargin = 11;
constexpr int kAdvancedTop = 178;
constexpr int kAdvancedRowStep = 29;
constexpr int kAdvancedEditLeft = 354;
constexpr int kAdvancedEditWidth = 208;
constexpr int kMargin = 8;
constexpr int kGap = 4;
constexpr int kButtonGap = 6;

const QString kWarningText =
    QStringLiteral("Changes take effect after DAS is powered down or reset.");

struct TControlSpec {
    const char* name;
    const char* caption;
    bool check;
};

// The controls in table order, with their captions.
const TControlSpec kControls[] = {
    {"INITSCRIPT", "Script to load upon power-up:", false},
    {"AUTORUN", "Run script automatically upon power-up", true},
    {"SWITCH.SLEEP", "Magnetic switch can put DAS to sleep", true},
    {"SWITCH.SCRIPT", "Magnetic switch can run loaded script", true},
    {"HOST.BAUD", "Startup Baud Rate:", false},
    {"HOST.PROTO", "Protocol (1=error correcting, 2=error detecting, 3=text)", false},
    {"INFO.VERBOSE", "Send informational and debugging messages (1 = yes):", false},
    {"INFO.DEST", "Information detination (HOST,SERIAL or NONE):", false},
    {"WAKECHAR", "ASCII value Pelagrix requires for wake-up (normally 3)::", false},
    {"WAKECHANNEL", "Serial channel to monitor for wake-up character:", false},
    {"PRSCALE", "Scaling factor applied to pressure measurements :", false},
    {"PROFFSET", "Offset applied to pressure measurements:", false},
};
constexpr int kCompactControls = 4;

const QString kAutorun = QStringLiteral("AUTORUN");

QString ObjectName(const char* prefix, const char* variable)
{
    return QLatin1String(prefix) + QString::fromLatin1(variable).replace(QLatin1Char('.'),
                                                                          QLatin1Char('_'));
}

}  // namespace

const std::array<const char*, 14> TSystemVarForm::kVariableNames = {
    "INITSCRIPT",  "AUTORUN",   "SWITCH.SLEEP", "SWITCH.SCRIPT", "HOST.BAUD",
    "HOST.PROTO",  "INFO.VERBOSE", "INFO.DEST", "WAKECHAR",      "WAKECHANNEL",
    "SCB.13",      "PRSCALE",   "PROFFSET",     "NOVARTYPE"};

TSystemVarForm::TSystemVarForm(QWidget* parent) : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Pelagrix Power-up Options"));
    for (const char* name : kVariableNames) {
        TVariable v;
        v.name = QString::fromLatin1(name);
        variables_.push_back(v);
    }
    BuildControls();
    CentreOnScreen(this);
    RestoreDefaults();
}

void TSystemVarForm::BuildControls()
{
    Label_DASWarning = new QLabel(kWarningText, this);
    QFont bold = Label_DASWarning->font();
    bold.setBold(true);
    Label_DASWarning->setFont(bold);
    Label_DASWarning->adjustSize();
    Label_DASWarning->move(kMargin, kMargin);

    int y = Label_DASWarning->geometry().bottom() + 1 + kButtonGap;
    int compactWidth = std::max(kCompactWidth, Label_DASWarning->width() + 2 * kMargin);
    int labelWidth = 0;
    std::vector<std::pair<QLabel*, QLineEdit*>> advanced;
    for (int i = 0; i < static_cast<int>(std::size(kControls)); ++i) {
        const TControlSpec& spec = kControls[i];
        auto it = std::find_if(variables_.begin(), variables_.end(), [&spec](const TVariable& v) {
            return v.name == QLatin1String(spec.name);
        });
        const QString caption = QString::fromLatin1(spec.caption);
        if (spec.check) {
            it->check = new QCheckBox(caption, this);
            it->check->setObjectName(ObjectName("CheckBox_", spec.name));
            it->check->adjustSize();
            it->check->move(kMargin, y);
            y += it->check->height() + kGap / 2;
            compactWidth = std::max(compactWidth, it->check->width() + 2 * kMargin);
            continue;
        }
        it->edit = new QLineEdit(this);
        it->edit->setObjectName(ObjectName("Edit_", spec.name));
        auto* label = new QLabel(caption, this);
        label->setBuddy(it->edit);
        label->adjustSize();
        if (i < kCompactControls) {
            label->move(kMargin, y);
            y += label->height() + 2;
            it->edit->move(kMargin, y);
            y += it->edit->sizeHint().height() + kGap;
        } else {
            advanced.emplace_back(label, it->edit);
            labelWidth = std::max(labelWidth, label->width());
        }
    }

    Button_OK = new QPushButton(QStringLiteral("OK"), this);
    Button_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Button_Advanced = new QPushButton(QStringLiteral("Advanced --->"), this);
    Button_OK->setDefault(true);
    connect(Button_OK, &QPushButton::clicked, this, [this] { Button_Click(); });
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { Button_CancelClick(); });
    connect(Button_Advanced, &QPushButton::clicked, this, [this] { Button_AdvancedClick(); });
    const int buttonsTop = std::max(kButtonsTop, y + kButtonGap);
    int x = compactWidth - kMargin;
    for (QPushButton* b : {Button_Advanced, Button_Cancel, Button_OK}) {
        b->resize(b->sizeHint());
        x -= b->width();
        b->move(x, buttonsTop);
        x -= kButtonGap;
    }
    const int compactHeight =
        std::max(kCompactHeight, buttonsTop + Button_OK->height() + kCompactBottomMargin);
    Edit_INITSCRIPT = variables_[0].edit;
    Edit_INITSCRIPT->resize(compactWidth - 2 * kMargin, Edit_INITSCRIPT->sizeHint().height());

    // The advanced options lie below the compact area, seen only when the window grows.
    const int advancedTop = std::max(kAdvancedTop, compactHeight + kAdvancedTop - kCompactHeight);
    const int editLeft = std::max(kAdvancedEditLeft, kMargin + labelWidth + kMargin);
    const int step = std::max(kAdvancedRowStep, Edit_INITSCRIPT->height() + kGap + 2);
    int top = advancedTop;
    for (auto& [label, edit] : advanced) {
        edit->setGeometry(editLeft, top, kAdvancedEditWidth, edit->sizeHint().height());
        label->move(editLeft - kMargin - label->width(),
                    top + (edit->height() - label->height()) / 2);
        top += step;
    }

    CheckBox_AUTORUN = variables_[1].check;
    CheckBox_SWITCH_SLEEP = variables_[2].check;
    CheckBox_SWITCH_SCRIPT = variables_[3].check;
    Edit_HOST_BAUD = variables_[4].edit;
    Edit_HOST_PROTO = variables_[5].edit;
    Edit_INFO_VERBOSE = variables_[6].edit;
    Edit_INFO_DEST = variables_[7].edit;
    Edit_WAKECHAR = variables_[8].edit;
    Edit_WAKECHANNEL = variables_[9].edit;
    Edit_PRSCALE = variables_[11].edit;
    Edit_PROFFSET = variables_[12].edit;

    compact_ = QSize(compactWidth, compactHeight);
    setFixedSize(compact_);
}

// --- The listing ---

void TSystemVarForm::ReceiveListing(const char* bytes, int count)
{
    int taken = 0;
    while (taken < count) {
        const int room = kSysVarBufferBytes - fill_;
        const int n = std::min(room, count - taken);
        std::memcpy(buffer_.data() + fill_, bytes + taken, static_cast<size_t>(n));
        fill_ += n;
        taken += n;

        int start = 0;
        for (int i = 0; i < fill_; ++i) {
            if (buffer_[static_cast<size_t>(i)] != '\r' && buffer_[static_cast<size_t>(i)] != '\n') {
                continue;
            }
            if (skipping_) {
                // The end of a line that did not fit: it is dropped whole.
                skipping_ = false;
            } else {
                ProcessLine(QByteArray(buffer_.data() + start, i - start));
            }
            start = i + 1;
        }
        std::memmove(buffer_.data(), buffer_.data() + start, static_cast<size_t>(fill_ - start));
        fill_ -= start;
        // A full buffer without a line end would never take another byte; the rest of that
        // line is skipped up to its end, however many chunks it spans.
        if (fill_ == kSysVarBufferBytes) {
            skipping_ = true;
        }
        if (skipping_) {
            fill_ = 0;
        }
    }
}

void TSystemVarForm::ProcessLine(const QByteArray& bytes)
{
    const QString line = QString::fromLatin1(bytes);
    if (line.isEmpty()) {
        return;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (line.startsWith(QLatin1String("PX")) && eq < 0) {
        lastPrompt_ = line;
        return;
    }
    if (!isVisible()) {
        show();
        raise();
    }
    if (eq < 0) {
        return;
    }
    const QString name = line.left(eq);
    const QString value = line.mid(eq + 1);
    for (TVariable& v : variables_) {
        if (v.name != name || (v.edit == nullptr && v.check == nullptr)) {
            continue;
        }
        v.lastValue = value;
        if (v.edit != nullptr) {
            v.edit->setText(value);
        } else {
            v.check->setChecked(ListedChecked(v));
        }
        return;
    }
}

QString TSystemVarForm::LastValue(const QString& name) const
{
    for (const TVariable& v : variables_) {
        if (v.name == name) {
            return v.lastValue;
        }
    }
    return {};
}

// --- OK, Cancel, Advanced ---

bool TSystemVarForm::ListedChecked(const TVariable& v)
{
    const QString value = v.lastValue.trimmed();
    // A switch is written empty when it may act, which the DAS lists back as such; an unlisted
    // variable shows the default.
    if (value.isEmpty()) {
        return v.name != kAutorun;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok && number != 0;
}

QString TSystemVarForm::ControlValue(const TVariable& v) const
{
    if (v.edit != nullptr) {
        return v.edit->text();
    }
    if (v.name == kAutorun) {
        return v.check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    }
    // A switch that may act is the DAS's default: the variable is set to nothing.
    return v.check->isChecked() ? QString() : QStringLiteral("0");
}

QString TSystemVarForm::RefusedValue(const QString& name, const QString& value)
{
    if (value.contains(QLatin1Char('"'))) {
        return QStringLiteral("The value of ") + name +
               QStringLiteral(" cannot hold a double quote.");
    }
    const QString command = TDas::PicoDosCommand(QStringLiteral("Set ") + name +
                                                 QLatin1Char('=') + value);
    if (command.size() > kMaxCommandChars) {
        return QStringLiteral("The value of ") + name +
               QStringLiteral(" is too long to send to the DAS.");
    }
    return {};
}

void TSystemVarForm::Button_Click()
{
    QStringList changes;
    for (const TVariable& v : variables_) {
        if (v.edit == nullptr && v.check == nullptr) {
            continue;
        }
        const QString value = ControlValue(v);
        if (value == v.lastValue) {
            continue;
        }
        // A value the DAS would get cut short or mangled is sent not at all.
        const QString refused = RefusedValue(v.name, value);
        if (!refused.isEmpty()) {
            ShowMessage(refused);
            return;
        }
        changes << QStringLiteral("Set ") + v.name + QLatin1Char('=') + value;
    }
    if (Das != nullptr) {
        for (const QString& change : changes) {
            Das->PicoDos(change);
        }
    }
    close();
}

void TSystemVarForm::Button_CancelClick() { close(); }

void TSystemVarForm::Button_AdvancedClick()
{
    if (height() != compact_.height()) {
        setFixedSize(compact_);
        return;
    }
    const QRect edit = Edit_PROFFSET->geometry();
    const QRect button = Button_Advanced->geometry();
    setFixedSize(edit.left() + compact_.width() + edit.width() - button.left() - button.width(),
                 edit.top() + compact_.height() - button.top());
}

// --- Showing and hiding ---

void TSystemVarForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TSystemVarForm::hideEvent(QHideEvent* event)
{
    FormHide();
    QDialog::hideEvent(event);
}

void TSystemVarForm::FormShow() { setFixedSize(compact_); }

void TSystemVarForm::FormHide() { RestoreDefaults(); }

void TSystemVarForm::RestoreDefaults()
{
    for (TVariable& v : variables_) {
        v.lastValue.clear();
        if (v.edit != nullptr) {
            v.edit->clear();
        } else if (v.check != nullptr) {
            v.check->setChecked(ListedChecked(v));
        }
    }
    lastPrompt_.clear();
}

// The main window hands the system variables channel's data to this window.
void TDASDesktopForm::ReceiveListing(const char* bytes, int count)
{
    if (SystemVarForm != nullptr) {
        SystemVarForm->ReceiveListing(bytes, count);
    }
}
