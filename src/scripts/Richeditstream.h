#pragma once
// The rich edit with its content, or only its selection, moved to and from a byte stream or a
// string, as RTF or as plain text. The script editor is built on it, and keeps a hidden one
// as its format window.
//
// UI thread only.

#include <QByteArray>

#include "scripts/RichEdit.h"
#include "scripts/Streams.h"

class TRichEditStream : public TRichEdit {
    Q_OBJECT
public:
    explicit TRichEditStream(QWidget* owner = nullptr);
    ~TRichEditStream() override;

    // Writes the content (or the selection) to the stream. Throws EOutOfResources "Failed to
    // save stream." when the transfer fails (also when the stream throws).
    void SaveToStream(TStream& stream, bool selectionOnly, bool plainRtf, bool noObjects,
                      bool plainText);
    // Reads the stream into the control (or in place of the selection). Throws
    // EOutOfResources "Failed to load stream." when the transfer fails; nothing changes then.
    void LoadFromStream(TStream& stream, bool selectionOnly, bool plainRtf, bool plainText);
    // The content (or the selection) as RTF.
    QByteArray SaveToString(bool selectionOnly);
    // Loads RTF text, replacing the whole content or only the selection (the caret then
    // stands where the selection started).
    void LoadFromString(const QByteArray& text, bool selectionOnly);
};
