#include "app/UpdateSessionSetup.h"

#include <exception>
#include <iostream>
#include <utility>

UpdateImage UpdateImage::fromFile(std::string path)
{
    UpdateImage image;
    image.isFile = true;
    image.path = std::move(path);
    return image;
}

UpdateImage UpdateImage::inMemory(const uint8_t* bytes, int size)
{
    UpdateImage image;
    image.bytes = bytes;
    image.size = size;
    return image;
}

void fillUpdateSession(FirmwareUpdateSession& session, const UpdateImage& image,
                       FirmwareUpdateSession::ProgressCallback progress, ReopenWait& wait, int replyTimeoutMs)
{
    void* reopenUser = wait.milliseconds == defaultReopenWaitMs ? nullptr : &wait;
    session.timeoutMs = replyTimeoutMs;
    session.error = 0;
    session.firmwarePath = image.isFile ? image.path : std::string();
    session.progressCallback = progress;
    session.progressUser = nullptr;
    session.image = image.isFile ? nullptr : image.bytes;
    session.imageSize = image.isFile ? 0 : image.size;
    session.loadFromFile = image.isFile;
    session.phaseDelayMs = 0;
    session.packetDelayMs = 0;
    session.beforeFlashCallback = reopenDevice;
    session.beforeFlashUser = reopenUser;
    session.afterFlashCallback = reopenDevice;
    session.afterFlashUser = reopenUser;
}

bool runUpdateSession(FirmwareUpdateSession& session, MVDevice* device)
{
    try
    {
        return session.run(device);
    }
    catch (const std::exception& e)
    {
        std::cout << "Firmware update stopped: " << e.what() << std::endl;
        return false;
    }
}
