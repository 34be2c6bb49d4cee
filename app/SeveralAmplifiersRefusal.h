#pragma once

// Amplifiers of one name cannot be told apart when one comes back from its
// restart, so with more than one found nothing is flashed. Both the command
// line and the window refuse through refuseSeveralAmplifiers.

// The line that refuses a flash while more than one amplifier is connected.
extern const char* const moreThanOneAmplifierLine;

// True when more than one amplifier was found: the flash is refused, and
// moreThanOneAmplifierLine has been printed on standard output.
bool refuseSeveralAmplifiers(int amplifiersFound);
