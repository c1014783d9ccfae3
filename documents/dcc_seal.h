#pragma once
// The laboratory's seal on a DCC: an XML signature (XML-DSig, RSA-SHA256, exclusive
// canonicalisation) in a file of its own beside the DCC, NAME.xml.sig, whose one
// reference names the DCC by its file name and digest. The DCC schema has no place
// for a signature at its root, so the DCC itself stays as the schema has it.

#include <string>

#include "documents/laboratory.h"

namespace trimwell {

// Why the lab's key and certificate cannot seal (a file missing, a key every user
// can read, only one of the two given); empty when they can, or when the lab seals
// nothing (neither is given).
std::string sealProblem(const Laboratory& lab);
// Writes dccPath + ".sig" for the DCC file at dccPath, when the lab has a key and
// certificate; true, writing nothing, when it has neither.
bool sealDccFile(const std::string& dccPath, const Laboratory& lab, std::string& problem);

}  // namespace trimwell
