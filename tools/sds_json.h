#pragma once
// The readable JSON form of a datasheet image, used by trimwell-sds to show an image
// and to build one from a source file.

#include <string>

#include <nlohmann/json.hpp>

#include "datasheet/datasheet.h"

namespace trimwell {

// Every field of the datasheet in image order; numbers give the stored doubles back
// exactly, texts are UTF-8.
nlohmann::ordered_json datasheetToJson(const Datasheet& datasheet);

// Fills an empty datasheet from the JSON form. Lengths, status, blockLength, source
// and the derived version are ignored; a missing key takes 0, empty or none. An
// unknown key or a value of the wrong type fails with a message naming the key.
bool datasheetFromJson(const nlohmann::json& source, Datasheet& datasheet, std::string& error);

}  // namespace trimwell
