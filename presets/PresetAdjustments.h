#pragma once

// Adjustments of a JSON preset: parameters sorted by id, the IR loader's
// impulse-response fields moved into its item and into the misc section's
// text, and the tone-matching extras removed. None reports a failure;
// jsoncpp's Json::LogicError passes for values of the wrong kind on the way.

#include <json/value.h>

namespace mvhw
{

// A copy of the preset in which every item's "params" is an array of
// {"id": asInt of the old "id", "value": the old "value" or null}, in
// ascending id order; equal ids keep their order, other members are dropped,
// and an item without "params" gets an empty one. A preset whose "sigPath" /
// "blocks" / "items" is no array comes back unchanged.
Json::Value sortParamsById(const Json::Value& preset);

// Sets "wavBitDepth" (integer), "wavFileName" (string) and "wavSampleRate"
// (real at float32 precision) of the first "mavo.IRLoader" item from the
// fields object, when it holds at least one of them; a missing one gives 0,
// "" or 0.0. All three are converted before anything changes, so a
// Json::LogicError leaves the items as they were. Creates a missing "sigPath"
// / "blocks" / "items" chain (with a null "items").
void applyIrLoaderFields(Json::Value& preset, const Json::Value& fields);

// Writes the three fields of the first "mavo.IRLoader" item, when it has all
// of them, as styled JSON text without line feeds into preset "sigPath" /
// "misc" / "irloader" / "value", replacing any earlier "irloader". Creates a
// missing "sigPath" / "blocks" / "items" chain (with a null "items").
void storeIrLoaderFieldsInMisc(Json::Value& preset);

// The preset without the parameters whose "id" is an integer from 101 to 104
// in its "mavo.toneMatching" items; an item left with no parameters gets a
// null "params".
Json::Value stripToneMatchingParams(Json::Value preset);

} // namespace mvhw
