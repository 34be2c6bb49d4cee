#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <optional>
#include <string>

// The application object: the main window, or with "--path FILE" the
// command-line update of that file.
class OstrelFwUpgradeLauncherApplication : public juce::JUCEApplication
{
public:
    class MainWindow;

    OstrelFwUpgradeLauncherApplication();
    ~OstrelFwUpgradeLauncherApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;

    void initialise(const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    // The file "--path" names: a relative path joined to the working
    // directory, nothing in it rewritten ("..", links and separators are left
    // to the system); an empty path stays empty. None when the parameters ask
    // for the window.
    static std::optional<std::string> commandLinePath(const juce::StringArray& parameters);

    // Window mode without a display prints this line and exits with 1.
    static const char* const noDisplayLine;
    static bool hasDisplay();

private:
    std::unique_ptr<MainWindow> mainWindow;

    JUCE_DECLARE_NON_COPYABLE(OstrelFwUpgradeLauncherApplication)
};
