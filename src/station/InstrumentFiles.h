#pragma once
// Instrument files (".ins"): one device's section of a configuration file on its own, so a
// device's settings can travel between stations. Export writes the section under the device's
// current name into a file (other sections of the file stay); import reads the first section
// of a file into a device without touching its port or power switch.
//
// UI thread only.

#include <QString>
#include <optional>

#include "platform/Prompt.h"

class TDevice;

inline const QString kInstrumentFileFilter =
    QStringLiteral("Instrument Configuration Files (*.ins)|*.ins");

// The options of the export and import file dialogs: the data folder's "Config" folder (made
// when missing), the filter, the title and the file name given.
TFileDialogOptions InstrumentDialogOptions(const QString& title, const QString& fileName);

// True when the file exists and its extension, in any case, is "ins".
bool IsInstrumentFile(const QString& path);

// Writes the device's section into the file (loaded first, so its other sections stay);
// false, after a message, when the file cannot be written. `powerOnDelay`, when given, is
// written in place of the delay of the device's own power switch (the wizard's working copy
// stays on the device's port while the delay typed belongs to the port chosen).
bool ExportInstrument(const TDevice& device, const QString& fileName,
                      std::optional<int> powerOnDelay = std::nullopt);

// Reads the file's first section into `device` as an import (port, icon and power switch
// settings untouched). The device first takes the section's name, unless the wizard's Finished
// would refuse it (another device or a DAS model carries it, it is blank or holds a bracket or
// line break): then that refusal's message is shown, the device keeps its name and the
// section's keys are read all the same. False when the file holds no section (nothing read).
bool ImportInstrument(TDevice& device, const TDevice* edited, const QString& fileName);
