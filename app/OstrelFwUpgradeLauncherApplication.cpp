#include "app/OstrelFwUpgradeLauncherApplication.h"

#include "app/CommandLineUpdater.h"
#include "app/MainWindow.h"
#include "app/ProductInfo.h"

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

std::unique_ptr<juce::File>
OstrelFwUpgradeLauncherApplication::commandLineFile(const juce::StringArray& parameters)
{
    const juce::String first = parameters.isEmpty() ? juce::String() : parameters[0];
    if (first != "--path")
        return nullptr;
    const juce::String path = parameters.size() > 1 ? parameters[1] : juce::String();
    if (path.isEmpty())
        return std::make_unique<juce::File>();
    return std::make_unique<juce::File>(juce::File::getCurrentWorkingDirectory().getChildFile(path));
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
    const auto file = commandLineFile(getCommandLineParameterArray());
    if (file == nullptr)
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
    const bool ok = runCommandLineUpdate(*file);
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
