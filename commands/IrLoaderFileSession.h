#pragma once

#include "device/MVDeviceSession.h"

#include <string>

// Set 41: the IR loader's wav file as compact JSON,
//   {"wavBitDepth":<int>,"wavFileName":"<name>","wavSampleRate":<real>}
// rendered by jsoncpp's styled writer with every space and line feed removed
// (those inside the file name too), sent as its u32 length and the text.
// Answered by an Ack. A file name over 20 bytes leaves 17 and sends nothing;
// a failed send 8; the reply 1, 2 or 3. The error field is written only on
// failure.
class IrLoaderFileSession : public MVDeviceSession
{
public:
    static constexpr std::size_t maxFileNameLength = 20;

    bool doRun(MVDevice* device, int sessionId) override;

    // The JSON text as it travels.
    std::string buildText() const;

    std::string wavFileName;
    float wavSampleRate = 0;
    int wavBitDepth = 0;
};
