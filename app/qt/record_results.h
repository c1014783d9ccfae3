#pragma once
// A record's results as the records view shows them: one line per result, and
// what the lab states with them.

#include <QString>
#include <QStringList>

#include "records/calibration_record.h"

namespace trimwell {

// The results table's headings, and one line of it: row, as found / as left,
// reference, reading, error, U (k), tolerance limit, verdict.
QStringList resultHeadings();
QStringList resultCells(const CalibrationRecord& record, const RecordResult& result);
// The result's uncertainty budget, one input a line with its share of u_c².
QString budgetText(const metrology::UncertaintyBudget& budget);

// What the lab states with a record's results (HTML): the unit and customer, the
// conditions, the decision rule and each row's reference standard.
QString recordLabHtml(const CalibrationRecord& record);

// The record's title and its facts as an HTML heading and table, a value of
// several lines (the signatures) keeping them: what the records view's Details
// and the signing window open with.
QString recordFactsHtml(const CalibrationRecord& record);

}  // namespace trimwell
