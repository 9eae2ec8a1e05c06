#pragma once
// A terminal window stand-in for tests and benchmarks: every call does nothing; derived views
// keep or count what they are shown.

#include "link/ChannelInterfaces.h"

class TNullTerminalView : public ITerminalView {
public:
    virtual ~TNullTerminalView() = default;
    void ShowData(const char* /*bytes*/, int /*count*/) override {}
    void SetHostChannel(TMux* /*channel*/) override {}
    void ClearReceived() override {}
    void SetCaption(const QString& /*caption*/) override {}
    void ShowNormal() override {}
    void ChannelStateChanged() override {}
    void DestroyView() override {}
};
