#include "app/qt/record_results.h"

#include <cmath>

#include "metrology/decision_rule.h"
#include "metrology/verdict.h"
#include "documents/record_export.h"
#include "platform/format_text.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }

// Six significant digits: what a person compares; the record keeps every digit.
QString number(double value) { return std::isfinite(value) ? q(readableNumber(value)) : QStringLiteral("\u2014"); }

QString rowName(const CalibrationRecord& record, int row) {
  const QString place = QString::number(row + 1);
  if (row < 0 || row >= static_cast<int>(record.rows.size())) return place;
  return place + QLatin1Char(' ') + q(record.rows[static_cast<std::size_t>(row)].name);
}

QString ruleText(const std::string& name) {
  metrology::DecisionRule rule{};
  if (name.empty()) return QStringLiteral("not stated");
  return metrology::parseDecisionRule(name, rule) ? QString::fromUtf8(metrology::ruleTitle(rule)) : q(name);
}

QString conditionsText(const CalibrationRecord& r) {
  QStringList parts;
  if (!std::isnan(r.ambientTemperature)) parts << number(r.ambientTemperature) + QStringLiteral(" \u00b0C");
  if (!std::isnan(r.relativeHumidity)) parts << number(r.relativeHumidity) + QStringLiteral(" % RH");
  return parts.isEmpty() ? QStringLiteral("not given") : parts.join(QStringLiteral(", "));
}

QString standardText(const metrology::StandardEntry& e) {
  const QString a = number(e.uncertainty.a) + (e.unit.empty() ? QString() : QLatin1Char(' ') + q(e.unit));
  return QStringLiteral("%1 (%2), certificate %3 by %4, calibrated on %5, due on %6; U = %7 + %8\u00b7|value| (k = %9)")
      .arg(q(e.name), q(e.identification), q(e.certificateNumber), q(e.issuedBy), q(e.calibratedOn), q(e.dueOn), a,
           number(e.uncertainty.b), number(e.uncertainty.coverageFactor));
}

QString orNone(const std::string& text) { return text.empty() ? QStringLiteral("not given") : q(text); }

}  // namespace

QStringList resultHeadings() {
  return {QStringLiteral("Row"),     QStringLiteral("As found / as left"), QStringLiteral("Reference"),
          QStringLiteral("Reading"), QStringLiteral("Error"),              QStringLiteral("U (k)"),
          QStringLiteral("Tolerance limit"), QStringLiteral("Verdict"), QStringLiteral("Reference from")};
}

QStringList resultCells(const CalibrationRecord& record, const RecordResult& r) {
  const metrology::PointResult& p = r.result;
  const std::string unit = rowUnitOf(record, r.row);
  const auto value = [&unit](double v) { return unit.empty() ? number(v) : number(v) + QLatin1Char(' ') + q(unit); };
  return {rowName(record, r.row),
          r.asLeft ? QStringLiteral("as left") : QStringLiteral("as found"),
          value(p.referenceValue),
          value(p.reading),
          value(p.error()),
          value(p.uncertainty.expanded()) + QStringLiteral(" (k = %1)").arg(number(p.uncertainty.coverageFactor)),
          p.limit ? QStringLiteral("\u00b1") + value(*p.limit) : QStringLiteral("none"),
          QString::fromUtf8(metrology::verdictName(p.verdict)),
          r.referenceInstrument.empty() ? QStringLiteral("typed")
                                        : q(r.referenceInstrument + ", read at " + r.referenceTime)};
}

QString budgetText(const metrology::UncertaintyBudget& budget) {
  QStringList lines;
  for (std::size_t i = 0; i < budget.contributions.size(); ++i) {
    const metrology::Contribution& c = budget.contributions[i];
    lines << QStringLiteral("%1: u = %2, %3 % of u_c\u00b2")
                 .arg(q(c.source), number(std::abs(c.contribution())), number(100.0 * budget.share(i)));
  }
  lines << QStringLiteral("u_c = %1, U = %2 (k = %3)")
               .arg(number(budget.combined()), number(budget.expanded()), number(budget.coverageFactor));
  return lines.join(QLatin1Char('\n'));
}

QString recordFactsHtml(const CalibrationRecord& record) {
  const RecordText text = recordText(record);
  QString html = QStringLiteral("<h3>%1</h3><table>").arg(QString::fromStdString(text.title).toHtmlEscaped());
  for (const auto& [label, value] : text.facts) {
    html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                .arg(QString::fromStdString(label).toHtmlEscaped(),
                     QString::fromStdString(value).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
  }
  return html + QStringLiteral("</table>");
}

QString recordLabHtml(const CalibrationRecord& r) {
  QString html = QStringLiteral("<table>");
  const std::pair<QString, QString> facts[] = {{QStringLiteral("Unit"), orNone(r.unit)},
                                               {QStringLiteral("Customer"), orNone(r.customer)},
                                               {QStringLiteral("Customer's address"), orNone(r.customerAddress)},
                                               {QStringLiteral("Customer's e-mail"), orNone(r.customerEmail)},
                                               {QStringLiteral("Place"),
                                                r.calibrationPlace.empty() ? QStringLiteral("at the laboratory")
                                                                           : QString::fromStdString("on site: " + r.calibrationPlace)},
                                               {QStringLiteral("Conditions"), conditionsText(r)},
                                               {QStringLiteral("Decision rule"), ruleText(r.decisionRule)}};
  for (const auto& [label, value] : facts) {
    html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(label, value.toHtmlEscaped());
  }
  for (const RecordStandard& s : r.standards) {
    html += QStringLiteral("<tr><td><b>Standard, row %1</b></td><td>%2</td></tr>")
                .arg(rowName(r, s.row).toHtmlEscaped(), standardText(s.standard).toHtmlEscaped());
  }
  if (r.standards.empty()) html += QStringLiteral("<tr><td><b>Standards</b></td><td>none used</td></tr>");
  return html + QStringLiteral("</table>");
}

}  // namespace trimwell
