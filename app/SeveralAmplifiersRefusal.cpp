#include "app/SeveralAmplifiersRefusal.h"

#include <iostream>

const char* const moreThanOneAmplifierLine =
    "More than one amplifier found: connect only the one to update, then try again";

bool refuseSeveralAmplifiers(int amplifiersFound)
{
    if (amplifiersFound <= 1)
        return false;
    std::cout << moreThanOneAmplifierLine << std::endl;
    return true;
}
