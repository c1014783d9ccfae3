#pragma once
// The DCC's measurement results: one per row of the record (see dcc_writer.h).

#include "records/calibration_record.h"
#include "documents/dcc_xml.h"

namespace trimwell::dcc {

// Whether the row goes into the certificate: a row written, or one with results.
bool certifiedRow(const CalibrationRecord& record, std::size_t row);

void addMeasurementResults(Document& document, const CalibrationRecord& record);

// The verdict as the DCC's conformity names it; nullptr for "not stated".
const char* conformityName(metrology::Verdict verdict);
// The id of the statement naming the decision rule, which each verdict refers to.
inline constexpr const char* kDecisionRuleId = "decisionRule";

}  // namespace trimwell::dcc
