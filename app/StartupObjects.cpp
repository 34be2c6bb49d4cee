// The static objects that the program builds before the framework's own, in
// start-up order: the discovery's state, the preset tables, the style
// constants. Their init_priority ranks set that order whatever the link
// order. Each executable compiles this file itself, so the references below
// keep every one of them in the program, the tables too, which nothing else
// in the program uses.
#include "app/StyleConstants.h"
#include "device/Discovery.h"
#include "presets/ModuleTables.h"

static_assert(discoveryStateInitPriority < mvhw::moduleTablesInitPriority &&
                  mvhw::moduleTablesInitPriority < styleConstantsInitPriority,
              "the discovery's state, then the preset tables, then the style constants");

extern const void* const startupObjects[];
const void* const startupObjects[] = {
    // the discovery's state
    &deviceManagerCallback, &deviceRecords, &discoveredInputNames, &discoveredOutputNames,
    &inputToDeviceIndex, &scanMutex, &deviceRecordsMutex,
    // the preset tables
    &mvhw::moduleIdToNumber, &mvhw::ampNameToNumber, &mvhw::ampKeyToNumber, &mvhw::moduleNumberToId,
    &mvhw::ampNumberToName, &mvhw::ampNumberToKey,
    // the style constants
    &colourTitleGrey, &colourToastGrey, &colourButtonGrey, &colourLineGrey, &colourTextGrey};
