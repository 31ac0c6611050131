#pragma once

#include "xmlda/SimpleValues.h"

#include <string>

namespace opc::xmlda {

// What a standard OPC XML-DA result code means, for replies that send the code without its text.
// "" for a code that is not one of the standard's (or not in the OPC namespace).
const char* StandardMeaning(const TQName& code);

// The quality of an item in words: "good", "bad – comm failure", "uncertain – last usable", with
// the limit appended when there is one ("good, limit low").
std::string QualityText(const std::string& qualityField, const std::string& limitField);

// good, uncertain or bad: what a view colours by.
enum class TQualityClass { Good, Uncertain, Bad };
TQualityClass QualityClassOf(const std::string& qualityField);

} // namespace opc::xmlda
