#include "scripts/Richeditstream.h"

namespace {

uint32_t StreamInCallback(intptr_t cookie, char* buffer, int32_t count, int32_t* done)
{
    *done = 0;
    try {
        *done = static_cast<int32_t>(reinterpret_cast<TStream*>(cookie)->Read(buffer, count));
        return 0;
    } catch (...) {
        return 1;
    }
}

uint32_t StreamOutCallback(intptr_t cookie, char* buffer, int32_t count, int32_t* done)
{
    *done = 0;
    try {
        *done = static_cast<int32_t>(reinterpret_cast<TStream*>(cookie)->Write(buffer, count));
        return 0;
    } catch (...) {
        return 1;
    }
}

}  // namespace

TRichEditStream::TRichEditStream(QWidget* owner) : TRichEdit(owner) {}

TRichEditStream::~TRichEditStream() = default;

void TRichEditStream::SaveToStream(TStream& stream, bool selectionOnly, bool plainRtf,
                                   bool noObjects, bool plainText)
{
    uint32_t format = 0;
    if (selectionOnly) {
        format |= SFF_SELECTION;
    }
    if (plainRtf) {
        format |= SFF_PLAINRTF;
    }
    if (plainText) {
        format |= noObjects ? SF_TEXT : SF_TEXTIZED;
    } else {
        format |= noObjects ? SF_RTFNOOBJS : SF_RTF;
    }
    TEditStream editStream;
    editStream.dwCookie = reinterpret_cast<intptr_t>(&stream);
    editStream.pfnCallback = StreamOutCallback;
    StreamOut(format, editStream);
    if (editStream.dwError != 0) {
        throw EOutOfResources("Failed to save stream.");
    }
}

void TRichEditStream::LoadFromStream(TStream& stream, bool selectionOnly, bool plainRtf,
                                     bool plainText)
{
    uint32_t format = plainText ? SF_TEXT : SF_RTF;
    if (selectionOnly) {
        format |= SFF_SELECTION;
    }
    if (plainRtf) {
        format |= SFF_PLAINRTF;
    }
    TEditStream editStream;
    editStream.dwCookie = reinterpret_cast<intptr_t>(&stream);
    editStream.pfnCallback = StreamInCallback;
    StreamIn(format, editStream);
    if (editStream.dwError != 0) {
        throw EOutOfResources("Failed to load stream.");
    }
}

QByteArray TRichEditStream::SaveToString(bool selectionOnly)
{
    TMemoryStream stream;
    SaveToStream(stream, selectionOnly, false, false, false);
    stream.Seek(0, TStream::TOrigin::Beginning);
    return stream.Bytes();
}

void TRichEditStream::LoadFromString(const QByteArray& text, bool selectionOnly)
{
    TMemoryStream stream;
    stream.Write(text.constData(), text.size());
    stream.Write("", 1);
    stream.Seek(0, TStream::TOrigin::Beginning);
    LoadFromStream(stream, selectionOnly, false, false);
}
