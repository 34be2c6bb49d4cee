// Program entry of the updater: JUCE's MIDI ports.
#include "app/OstrelFwUpgradeLauncherApplication.h"

START_JUCE_APPLICATION(OstrelFwUpgradeLauncherApplication)
