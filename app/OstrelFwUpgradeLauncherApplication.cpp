#include "app/OstrelFwUpgradeLauncherApplication.h"

#include "app/CommandLineUpdater.h"
#include "app/MainWindow.h"
#include "app/ProductInfo.h"

#include <filesystem>
#include <iostream>

OstrelFwUpgradeLauncherApplication::OstrelFwUpgradeLauncherApplication() = default;

OstrelFwUpgradeLauncherApplication::~OstrelFwUpgradeLauncherApplication() = default;

const juce::String OstrelFwUpgradeLauncherApplication::getApplicationName()
{
    return productName;
}

const juce::String OstrelFwUpgradeLauncherApplication::getApplicationVersion()
{
    return productVersion;
}

bool OstrelFwUpgradeLauncherApplication::moreThanOneInstanceAllowed()
{
    return true;
}

std::optional<std::string>
OstrelFwUpgradeLauncherApplication::commandLinePath(const juce::StringArray& parameters)
{
    const juce::String first = parameters.isEmpty() ? juce::String() : parameters[0];
    if (first != "--path")
        return std::nullopt;
    const std::string path = parameters.size() > 1 ? parameters[1].toStdString() : std::string();
    if (path.empty() || path.front() == '/')
        return path;
    // Joined, not resolved: "link/../fw.bin" is the file the system finds
    // through link, which removing "link/.." as text would not be.
    std::error_code error;
    const std::string directory = std::filesystem::current_path(error).string();
    if (error)
        return path;
    return directory == "/" ? "/" + path : directory + "/" + path;
}

const char* const OstrelFwUpgradeLauncherApplication::noDisplayLine =
    "There is no display to open the window on: for a command-line update, use --path FILE.";

bool OstrelFwUpgradeLauncherApplication::hasDisplay()
{
    // Without a reachable X server JUCE lists no display, and a window cannot
    // be placed or shown.
    return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr;
}

void OstrelFwUpgradeLauncherApplication::initialise(const juce::String&)
{
    const auto path = commandLinePath(getCommandLineParameterArray());
    if (!path)
    {
        if (!hasDisplay())
        {
            std::cout << noDisplayLine << std::endl;
            setApplicationReturnValue(1);
            quit();
            return;
        }
        mainWindow = std::make_unique<MainWindow>(productName);
        return;
    }

    // Scripts read the outcome from the exit code: 0 only when the firmware
    // was written.
    const bool ok = runCommandLineUpdate(*path);
    setApplicationReturnValue(ok ? 0 : 1);
    quit();
}

void OstrelFwUpgradeLauncherApplication::shutdown()
{
    mainWindow = nullptr;
}

void OstrelFwUpgradeLauncherApplication::anotherInstanceStarted(const juce::String&) {}

void OstrelFwUpgradeLauncherApplication::systemRequestedQuit()
{
    quit();
}
