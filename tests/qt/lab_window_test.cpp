// The lab's windows on the offscreen platform, over a real SQLite records file:
// the reference standards register, the records view's results and unit filter,
// the units due and the lab settings.
#include <QImage>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "app/lab_bench.h"
#include "app/units_due.h"
#include "app/qt/lab_settings_window.h"
#include "app/qt/reference_window.h"
#include "app/qt/records_window.h"
#include "app/qt/standards_window.h"
#include "app/qt/station_window.h"
#include "records/sqlite_record_store.h"
#include "sim/station/simulated_station.h"
#include "support/temp_dir.h"
#include "support/sample_paths.h"

namespace trimwell {
namespace {

class LabWindow : public ::testing::Test {
 protected:
  LabWindow()
      : window([this](WindowControls& controls) -> CalibrationDialog& {
          station = std::make_unique<sim::SimulatedStation>(controls, registry, test::samplePaths(recordsFile()));
          return station->dialog();
        }) {
    window.controls().boxOpened = [this](QMessageBox& box) {
      boxes.push_back(box.text().toStdString());
      box.done(QMessageBox::Ok);
    };
  }
  ~LabWindow() override { station.reset(); }
  std::string recordsFile() const { return folder.file("records.sqlite"); }
  void plugSensor() {
    station->plugInterface(0x0002, 1, 8);
    station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
    station->tick();
  }
  // A record kept by the store itself, as another station of the lab would.
  static CalibrationRecord record(const std::string& unit, int sensorId, const std::string& time) {
    CalibrationRecord r;
    r.utcTime = time;
    r.sensorId = sensorId;
    r.datasheetName = "Thermal probe";
    r.rows = {RecordRow{10, "Temperature"}};
    r.success = true;
    r.result = "written and verified";
    r.unit = unit;
    return r;
  }

  test::TempDir folder;
  MemoryRegistry registry;
  std::unique_ptr<sim::SimulatedStation> station;
  StationWindow window;
  std::vector<std::string> boxes;
};

void fill(StandardsWindow& w, const std::vector<std::pair<const char*, const char*>>& fields) {
  for (const auto& [caption, text] : fields) {
    QLineEdit* edit = w.field(QString::fromUtf8(caption));
    ASSERT_NE(edit, nullptr) << caption;
    edit->setText(QString::fromUtf8(text));
  }
}

const std::vector<std::pair<const char*, const char*>> kBath = {
    {"Name", "Bath 2"},        {"Identification", "SN-B2"}, {"Certificate", "C-0042"},
    {"Issued by", "Calibra"},  {"Calibrated on", "2025-06-01"}, {"Due on", "2999-06-01"},
    {"Quantity", "temperature"}, {"Unit", "\u00b0C"},       {"a", "0.02"},
    {"b", "0.001"},            {"k", "2"}};

TEST_F(LabWindow, AStandardAddedThroughTheFormIsInTheRegisterOfTheRecordsFile) {
  StandardsWindow standards(station->dialog().labBench(), window.controls(), &window);
  fill(standards, kBath);
  standards.findChild<QPushButton*>(QStringLiteral("addStandard"))->click();
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  SqliteRecordStore store(recordsFile());
  std::vector<metrology::StandardEntry> kept;
  ASSERT_TRUE(store.listStandards(kept)) << store.problem();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].name, "Bath 2");
  EXPECT_EQ(kept[0].certificateNumber, "C-0042");
  EXPECT_EQ(kept[0].dueOn, "2999-06-01");
  EXPECT_EQ(kept[0].unit, "\u00b0C");
  EXPECT_EQ(kept[0].uncertainty.a, 0.02);
  EXPECT_EQ(kept[0].uncertainty.b, 0.001);
  EXPECT_EQ(kept[0].uncertainty.coverageFactor, 2.0);
  ASSERT_EQ(standards.table()->rowCount(), 1);
  EXPECT_EQ(standards.table()->item(0, 8)->text().toStdString(), "0.02 \u00b0C + 0.001\u00b7|value|");
  EXPECT_EQ(standards.table()->item(0, 5)->text().toStdString(), "2999-06-01");

  // The form is cleared for the next entry (k keeps its usual 2).
  EXPECT_EQ(standards.field(QStringLiteral("Name"))->text().toStdString(), "");
  EXPECT_EQ(standards.field(QStringLiteral("k"))->text().toStdString(), "2");

  // One past due is kept and marked, with a warning; the same name replaces the entry.
  fill(standards, kBath);
  fill(standards, {{"Due on", "2001-01-01"}});
  ASSERT_TRUE(standards.addFromForm());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Reference standard Bath 2 was due on 2001-01-01: it is in the register, but no row can use "
                      "it until its new certificate's dates are entered");
  ASSERT_EQ(standards.table()->rowCount(), 1);
  EXPECT_EQ(standards.table()->item(0, 5)->text().toStdString(), "2001-01-01 (past due)");

  // Its new certificate is typed over the picked entry; the same instrument under
  // a second name is refused.
  standards.table()->selectRow(0);
  EXPECT_EQ(standards.field(QStringLiteral("Certificate"))->text().toStdString(), "C-0042");
  fill(standards, {{"Due on", "2999-06-01"}, {"Certificate", "C-0043"}});
  ASSERT_TRUE(standards.addFromForm());
  fill(standards, kBath);
  fill(standards, {{"Name", "Bath 2 (new)"}});
  EXPECT_FALSE(standards.addFromForm());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "Reference standard Bath 2 has the identification SN-B2 already: pick it in the register to "
                      "change it, rather than adding it again");

  // Retired, it stays in the register, greyed with its day, and no row is offered it.
  EXPECT_FALSE(standards.retireSelected());  // nothing picked
  EXPECT_EQ(boxes.at(2), "Pick the entry to retire in the list first.");
  standards.table()->selectRow(0);
  ASSERT_TRUE(standards.retireSelected());
  ASSERT_EQ(standards.table()->rowCount(), 1);
  EXPECT_EQ(standards.table()->item(0, 11)->text().toStdString(), todayUtc());
  EXPECT_EQ(standards.table()->item(0, 2)->text().toStdString(), "C-0043");
  ASSERT_TRUE(store.listStandards(kept)) << store.problem();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].retiredOn, todayUtc());
  plugSensor();
  const std::vector<std::string> offered = window.controls().choices(ids::kStandard);
  EXPECT_EQ(offered, std::vector<std::string>{"none"});
  std::string problem;
  EXPECT_FALSE(station->dialog().labBench().chooseStandard(0, "Bath 2", problem));
  EXPECT_EQ(problem, "Reference standard Bath 2 was retired on " + todayUtc() + "; it cannot be used");

  // Every change is an audit entry, as it was and as it is.
  std::vector<signing::AuditEntry> trail;
  ASSERT_TRUE(store.auditTrail(trail)) << store.problem();
  ASSERT_FALSE(trail.empty());
  EXPECT_NE(trail.back().details.find("certificate C-0043"), std::string::npos) << trail.back().details;
  EXPECT_NE(trail.back().details.find("; now identification SN-B2"), std::string::npos) << trail.back().details;
  EXPECT_NE(trail.back().details.rfind(", retired on " + todayUtc()), std::string::npos) << trail.back().details;
}

// Each row's chooser says what it is for, and the station started afresh offers
// the model's rows the standards they had.
TEST_F(LabWindow, EachRowsStandardIsLabelledAndRememberedWhenTheStationStartsAgain) {
  std::string problem;
  metrology::StandardEntry bath{"Bath 2", "SN-B2", "C-0042", "Calibra", "2025-06-01", "2999-06-01",
                                "temperature", "\u00b0C", {0.02, 0.001, 2.0}};
  ASSERT_TRUE(station->dialog().labBench().addStandard(bath, problem)) << problem;
  window.show();
  plugSensor();
  QWidget* chooser = window.controls().widget(ids::kStandard);
  auto* label = window.findChild<QLabel*>(QStringLiteral("label%1").arg(ids::kStandard));
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(chooser->isVisible());
  EXPECT_TRUE(label->isVisible());
  EXPECT_EQ(label->text().toStdString(), "Standard");
  EXPECT_EQ(label->buddy(), chooser);
  ASSERT_TRUE(station->dialog().labBench().chooseStandard(0, "Bath 2", problem)) << problem;
  station->unplugSensor();
  station->tick();
  EXPECT_FALSE(label->isVisible());  // with its chooser

  std::unique_ptr<sim::SimulatedStation> next;
  StationWindow again([&](WindowControls& controls) -> CalibrationDialog& {
    next = std::make_unique<sim::SimulatedStation>(controls, registry, test::samplePaths(recordsFile()));
    return next->dialog();
  });
  next->plugInterface(0x0002, 1, 8);
  next->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  next->tick();
  EXPECT_EQ(again.controls().text(ids::kStandard), "Bath 2");
  EXPECT_EQ(again.controls().text(ids::kStandard + 1), "none");
  next.reset();
}

struct Refusal {
  const char* name;
  const char* field;
  const char* text;
  const char* message;
};

class StandardRefused : public LabWindow, public ::testing::WithParamInterface<Refusal> {};

TEST_P(StandardRefused, KeepsNothingAndSaysWhy) {
  StandardsWindow standards(station->dialog().labBench(), window.controls(), &window);
  fill(standards, kBath);
  fill(standards, {{GetParam().field, GetParam().text}});
  EXPECT_FALSE(standards.addFromForm());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(GetParam().message), std::string::npos) << boxes[0];
  EXPECT_EQ(standards.table()->rowCount(), 0);
  SqliteRecordStore store(recordsFile());
  std::vector<metrology::StandardEntry> kept;
  ASSERT_TRUE(store.listStandards(kept)) << store.problem();
  EXPECT_TRUE(kept.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, StandardRefused,
    ::testing::Values(Refusal{"KZero", "k", "0", "Reference standard Bath 2: k is not a positive number"},
                      Refusal{"DueSoon", "Due on", "soon", "due on \"soon\" is no date (YYYY-MM-DD)"},
                      Refusal{"ANotANumber", "a", "x", "U's a \"x\""},
                      Refusal{"NoK", "k", "", "k is not a positive number"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

metrology::PointResult pointResult(double reference, double reading, double limit, metrology::Verdict verdict) {
  metrology::PointResult p;
  p.referenceValue = reference;
  p.reading = reading;
  // A certificate's U of 0.1 at k = 2: u = 0.05, and U = 0.1 again.
  p.uncertainty.contributions = {{"reference standard", 0.1, 2.0, 1.0}};
  p.limit = limit;
  p.rule = metrology::DecisionRule::kGuarded;
  p.verdict = verdict;
  return p;
}

TEST_F(LabWindow, AnOpenedRecordShowsItsResultsFirstAndItsStatesUnderDetails) {
  CalibrationRecord r = record("SN-7", 221, "2026-01-05T10:00:00Z");
  r.customer = "Acme Labs";
  r.ambientTemperature = 21.5;
  r.relativeHumidity = 40;
  r.decisionRule = "guarded";
  r.standards = {RecordStandard{0, {"Bath 2", "SN-B2", "C-0042", "Calibra", "2025-06-01", "2999-06-01",
                                    "temperature", "\u00b0C", {0.02, 0.001, 2.0}}}};
  r.results = {RecordResult{0, false, pointResult(100, 100.25, 0.5, metrology::Verdict::kPass)},
               RecordResult{0, true, pointResult(100, 99.42, 0.5, metrology::Verdict::kFail)}};
  {
    SqliteRecordStore store(recordsFile());
    ASSERT_TRUE(store.add(r)) << store.problem();
  }
  RecordsWindow records(station->dialog(), &window);
  ASSERT_EQ(records.table()->rowCount(), 1);
  EXPECT_EQ(records.table()->item(0, 3)->text().toStdString(), "SN-7");
  records.table()->selectRow(0);
  EXPECT_EQ(records.tabs()->currentIndex(), 0);
  EXPECT_EQ(records.tabs()->tabText(0).toStdString(), "Results");
  EXPECT_EQ(records.tabs()->tabText(1).toStdString(), "Details");
  const std::vector<std::vector<std::string>> expected = {
      {"1 Temperature", "as found", "100 \u00b0C", "100.25 \u00b0C", "0.25 \u00b0C", "0.1 \u00b0C (k = 2)",
       "\u00b10.5 \u00b0C", "pass"},
      {"1 Temperature", "as left", "100 \u00b0C", "99.42 \u00b0C", "-0.58 \u00b0C", "0.1 \u00b0C (k = 2)",
       "\u00b10.5 \u00b0C", "fail"}};
  ASSERT_EQ(records.results()->rowCount(), 2);
  for (int i = 0; i < 2; ++i) {
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(records.results()->item(i, c)->text().toStdString(), expected[i][c]) << i << "," << c;
    }
  }
  const std::string facts = records.labFacts()->text().toStdString();
  for (const std::string wanted : {"SN-7", "Acme Labs", "21.5 \u00b0C, 40 % RH",
                                   metrology::ruleTitle(metrology::DecisionRule::kGuarded), "Bath 2 (SN-B2)",
                                   "certificate C-0042 by Calibra"}) {
    EXPECT_NE(facts.find(wanted), std::string::npos) << wanted << " in " << facts;
  }
  EXPECT_NE(records.details()->toPlainText().toStdString().find("As found / as left"), std::string::npos);
  // The row's errors as a picture: both results, against the tolerance's band.
  ASSERT_EQ(records.chartRow()->count(), 1);
  EXPECT_EQ(records.chartRow()->currentText().toStdString(), "Row 1: Temperature");
  ASSERT_EQ(records.chart()->chart().points.size(), 2u);
  EXPECT_TRUE(records.chart()->chart().points[1].asLeft);
  records.chart()->resize(400, 200);
  const QImage drawn = records.chart()->grab().toImage();
  int banded = 0;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) banded += QColor(drawn.pixel(x, y)) == kToleranceBand ? 1 : 0;
  }
  EXPECT_GT(banded, 1000);
}

TEST_F(LabWindow, TheUnitFilterListsThatUnitsHistoryNewestFirst) {
  {
    SqliteRecordStore store(recordsFile());
    for (CalibrationRecord r : {record("SN-1", 221, "2026-01-01T10:00:00Z"), record("SN-2", 221, "2026-01-02T10:00:00Z"),
                                record("SN-1", 300, "2026-01-03T10:00:00Z")}) {
      ASSERT_TRUE(store.add(r)) << store.problem();
    }
  }
  RecordsWindow records(station->dialog(), &window);
  ASSERT_EQ(records.table()->rowCount(), 3);
  records.unitFilter()->setText(QStringLiteral("SN-1"));
  ASSERT_EQ(records.table()->rowCount(), 2);
  EXPECT_EQ(records.table()->item(0, 1)->text().toStdString(), "2026-01-03T10:00:00Z");
  EXPECT_EQ(records.table()->item(1, 1)->text().toStdString(), "2026-01-01T10:00:00Z");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(records.table()->item(i, 3)->text().toStdString(), "SN-1");
  records.unitFilter()->clear();
  EXPECT_EQ(records.table()->rowCount(), 3);
}

TEST_F(LabWindow, UnitsDueFromTheMenuNameTheOverdueUnit) {
  {
    SqliteRecordStore store(recordsFile());
    CalibrationRecord r = record("SN-1", 221, "2001-01-01T10:00:00Z");
    ASSERT_TRUE(store.add(r)) << store.problem();
    // Due today is due, not yet overdue.
    CalibrationRecord today = record("SN-2", 221, addDays(todayUtc(), -30) + "T10:00:00Z");
    ASSERT_TRUE(store.add(today)) << store.problem();
  }
  ASSERT_TRUE(setCalibrationInterval(registry, 221, 30));
  QAction* due = nullptr;
  for (QAction* a : window.findChildren<QAction*>()) {
    if (a->text() == QStringLiteral("&Units due...")) due = a;
  }
  ASSERT_NE(due, nullptr);
  due->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Sensor 221 unit SN-1: overdue since 2001-01-31 (last calibrated 2001-01-01)\n"
                      "Sensor 221 unit SN-2: due " + todayUtc() + " (last calibrated " + addDays(todayUtc(), -30) + ")");
}

// A row's tolerance form: its kind, then A and B (or P), each typed as a
// technician would, with or without its unit.
void fillTolerance(const LabSettingsWindow& lab, int row, int kind, const char* a, const char* b = "",
                   const char* low = "", const char* high = "") {
  const LabSettingsWindow::ToleranceForm* form = lab.tolerance(row);
  ASSERT_NE(form, nullptr) << row;
  form->kind->setCurrentIndex(kind);
  form->a->setText(QString::fromUtf8(a));
  form->b->setText(QString::fromUtf8(b));
  form->low->setText(QString::fromUtf8(low));
  form->high->setText(QString::fromUtf8(high));
}

struct ToleranceTyped {
  const char* name;
  int kind;
  const char* a;
  const char* b;
  const char* low;
  const char* high;
  const char* kept;  // as the settings keep it; empty when refused
  const char* message;
};

class ToleranceForm : public LabWindow, public ::testing::WithParamInterface<ToleranceTyped> {};

TEST_P(ToleranceForm, KeepsWhatWasTypedOrSaysWhatToType) {
  plugSensor();
  const int sensorId = station->dialog().session().currentDatasheet->sensorId;
  const int row0 = station->dialog().session().rows[0].measurement->id;
  const ToleranceTyped& c = GetParam();
  LabSettingsWindow lab(station->dialog(), window.controls(), &window);
  fillTolerance(lab, 0, c.kind, c.a, c.b, c.low, c.high);
  // What was typed is seen whole in the window as it opens, and the window fits a
  // laptop's 1280 pixels whatever kind is chosen.
  lab.show();
  QApplication::processEvents();
  EXPECT_LE(lab.sizeHint().width(), 1280 - 100) << c.name;
  const LabSettingsWindow::ToleranceForm* form = lab.tolerance(0);
  for (const QLineEdit* edit : {form->a, form->b, form->low, form->high}) {
    if (edit->isVisible()) {
      EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(edit->text()) + 8) << c.name;
    }
  }
  EXPECT_EQ(lab.save(), *c.kept != '\0');
  const std::string kept = toleranceText(rowTolerance(registry, sensorId, row0));
  if (*c.kept != '\0') {
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(kept, c.kept);
  } else {
    EXPECT_EQ(kept, "none");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(c.message), std::string::npos) << boxes[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Typed, ToleranceForm,
    ::testing::Values(ToleranceTyped{"UnitTyped", 1, "0.1 \u00b0C", "", "", "", "reading 0.1 0", ""},
                      ToleranceTyped{"UnitWithoutSpace", 1, "0.1\u00b0C", "2%", "", "", "reading 0.1 2", ""},
                      ToleranceTyped{"PercentOnly", 1, "", "2 %", "", "", "reading 0 2", ""},
                      ToleranceTyped{"SpanOfTheRange", 2, "0.5%", "", "-20", "80 \u00b0C", "span 0.5 -20 80", ""},
                      ToleranceTyped{"None", 0, "3", "4", "", "", "none", ""},
                      ToleranceTyped{"PercentInA", 1, "2%", "", "", "", "", "Tolerance a \"2%\""},
                      ToleranceTyped{"OtherUnit", 1, "0.1 K", "", "", "", "", "A \"0.1 K\" is not a number in \u00b0C"},
                      ToleranceTyped{"SpanEmpty", 2, "", "", "0", "100", "", "P, the tolerance in % of the span, is empty"},
                      ToleranceTyped{"SpanWithoutRange", 2, "0.5", "", "", "", "",
                                     "A tolerance in % of span needs the model's calibrated range"},
                      ToleranceTyped{"RangeUpsideDown", 2, "0.5", "", "80", "-20", "",
                                     "upper value not above its lower one"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LabWindow, LabSettingsSaveTheRuleAndToleranceAndARefusedToleranceKeepsTheOld) {
  plugSensor();
  const int sensorId = station->dialog().session().currentDatasheet->sensorId;
  const int row0 = station->dialog().session().rows[0].measurement->id;
  const int row1 = station->dialog().session().rows[1].measurement->id;
  {
    LabSettingsWindow lab(station->dialog(), window.controls(), &window);
    lab.rule()->setCurrentIndex(lab.rule()->findText(metrology::ruleTitle(metrology::DecisionRule::kGuarded)));
    lab.unitRequired()->setChecked(true);
    fillTolerance(lab, 0, 1, "0.1", "0.5");
    // The fields the kind takes are shown, each with its unit.
    EXPECT_FALSE(lab.tolerance(0)->b->isHidden());
    EXPECT_EQ(lab.tolerance(0)->aUnit->text().toStdString(), "\u00b0C");
    lab.interval()->setValue(365);
    ASSERT_TRUE(lab.save());
  }
  EXPECT_TRUE(boxes.empty());
  const LabSettings saved = LabSettings::load(registry);
  EXPECT_EQ(saved.rule, metrology::DecisionRule::kGuarded);
  EXPECT_TRUE(saved.unitRequired);
  EXPECT_FALSE(saved.conditionsRequired);
  EXPECT_EQ(toleranceText(rowTolerance(registry, sensorId, row0)), "reading 0.1 0.5");
  EXPECT_EQ(calibrationInterval(registry, sensorId), 365);

  LabSettingsWindow again(station->dialog(), window.controls(), &window);
  // Read back as kept.
  EXPECT_EQ(again.tolerance(0)->kind->currentIndex(), 1);
  EXPECT_EQ(again.tolerance(0)->a->text().toStdString(), "0.1");
  EXPECT_EQ(again.tolerance(0)->b->text().toStdString(), "0.5");
  fillTolerance(again, 0, 1, "x", "0.5");
  fillTolerance(again, 1, 2, "2", "", "0", "2000");
  EXPECT_TRUE(again.tolerance(1)->b->isHidden());
  EXPECT_FALSE(again.tolerance(1)->low->isHidden());
  EXPECT_EQ(again.tolerance(1)->aUnit->text().toStdString(), "% of the span from");
  EXPECT_FALSE(again.save());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Row 1, ", 0), 0u) << boxes[0];
  EXPECT_NE(boxes[0].find("Tolerance a \"x\""), std::string::npos) << boxes[0];
  EXPECT_EQ(toleranceText(rowTolerance(registry, sensorId, row0)), "reading 0.1 0.5");
  EXPECT_EQ(toleranceText(rowTolerance(registry, sensorId, row1)), "span 2 0 2000");
}

}  // namespace
}  // namespace trimwell

namespace trimwell {
namespace {

// Settings > Reference instrument...: a scale that is no number is refused in the
// window, which stays open; the bench's instrument at its network address is kept
// and polled, and the rows offer their source.
TEST_F(LabWindow, ReferenceInstrumentIsChosenInItsWindowAndARefusalSaysWhy) {
  plugSensor();
  sim::ReferenceInstrument& meter = station->referenceInstrument();
  ASSERT_TRUE(meter.switchOn());
  ReferenceWindow reference(station->dialog(), &window);
  reference.location()->setCurrentText(QString::fromStdString(meter.address()));
  reference.scale()->setText(QStringLiteral("1,0.5"));
  EXPECT_FALSE(reference.use());
  EXPECT_EQ(reference.refusal()->text().toStdString(), "The scale factor \"1,0.5\" is not a number");
  EXPECT_FALSE(station->dialog().reference().settings().chosen());
  reference.scale()->setText(QStringLiteral("0"));
  EXPECT_FALSE(reference.use());
  EXPECT_EQ(reference.refusal()->text().toStdString(), "The scale factor must be a finite number other than 0");
  reference.scale()->setText(QStringLiteral("1"));
  reference.query()->setText(QStringLiteral("MEAS?"));
  ASSERT_TRUE(reference.use()) << reference.refusal()->text().toStdString();
  EXPECT_TRUE(boxes.empty());
  const ReferenceSettings kept = loadReferenceSettings(registry);
  EXPECT_EQ(kept.line.location, meter.address());
  EXPECT_EQ(kept.query, "MEAS?");
  ASSERT_TRUE(station->dialog().reference().poller().awaitPolls(2, std::chrono::seconds(10)));
  station->dialog().refreshReference();
  EXPECT_NE(station->dialog().infoText().find("Reference instrument: Brook Metrology PRT-9, serial RI-7731"),
            std::string::npos)
      << station->dialog().infoText();
  EXPECT_TRUE(window.controls().isShown(ids::kReferenceSource));
  // Reopened, the window shows the choice as kept.
  ReferenceWindow again(station->dialog(), &window);
  EXPECT_EQ(again.location()->currentText().toStdString(), meter.address());
  EXPECT_EQ(again.query()->text().toStdString(), "MEAS?");
}

}  // namespace
}  // namespace trimwell
