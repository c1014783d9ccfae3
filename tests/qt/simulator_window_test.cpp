// The simulated station on the offscreen platform: it fits a laptop's screen with
// its bench in reach, and no text in the station's columns or on the bench is cut.
#include "sim/station/qt/simulator_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/qt/station_window.h"
#include "app/control_ids.h"
#include "app/dialog_layout.h"
#include "sim/station/simulated_station.h"
#include "support/sheet_builder.h"
#include "support/sample_paths.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

using test::samplePaths;

struct ScreenCase {
  const char* name;
  QRect available;  // the screen less its panel
  bool benchDocked;
};

class FittedStation : public ::testing::TestWithParam<ScreenCase> {
 protected:
  MemoryRegistry registry;
  sim::SimulatorShell shell{registry, samplePaths()};
};

// The station's controls that cannot be brought into view by scrolling to them:
// none, whatever the window's size. One wider than the view (the status line)
// is in reach when it fills the view's width.
std::vector<int> outOfReach(StationWindow& window) {
  std::vector<int> out;
  QScrollArea* area = window.scrollArea();
  QWidget* view = area->viewport();
  for (const ControlSpec& entry : dialogControls()) {
    QWidget* w = window.controls().widget(entry.id);
    if (!w->isVisible()) continue;
    // As much of it as the view holds, from its top left.
    const QPoint at = w->mapTo(area->widget(), QPoint(0, 0));
    const int width = std::min(w->width(), view->width()), height = std::min(w->height(), view->height());
    area->ensureVisible(at.x() + width / 2, at.y() + height / 2, width / 2, height / 2);
    QApplication::processEvents();
    const QRect shown = view->rect().intersected(QRect(w->mapTo(view, QPoint(0, 0)), w->size()));
    // To the pixel a rectangle's centre rounds to.
    if (shown.width() + 1 < std::min(w->width(), view->width()) ||
        shown.height() + 1 < std::min(w->height(), view->height())) {
      out.push_back(entry.id);
    }
  }
  return out;
}

// A sensor in, with every column and option a row can show.
// Firmware 1.8, so that no update restarts the interface before its rows are shown.
void plugWithEveryColumn(sim::SimulatorShell& shell) {
  shell.bench().findChild<QComboBox*>(QStringLiteral("firmware"))->setCurrentText(QStringLiteral("1.8"));
  shell.bench().findChild<QPushButton*>(QStringLiteral("plugInterface"))->click();
  shell.bench().findChild<QPushButton*>(QStringLiteral("plugSensor"))->click();
  StationWindow& window = shell.stationWindow();
  for (int tick = 0; tick < 5 && !window.controls().widget(ids::kPoint1)->isVisible(); ++tick) window.runTick();
  ASSERT_TRUE(window.controls().widget(ids::kPoint1)->isVisible());
  for (int id : {ids::kShowRaw, ids::kShowMinMax, ids::kAutoGainSet, ids::kMultipleManualModes}) {
    qobject_cast<QAbstractButton*>(window.controls().widget(id))->click();
  }
  QApplication::processEvents();
}

TEST_P(FittedStation, WindowAndBenchAreOnTheScreenWithEveryControlInReach) {
  const ScreenCase& c = GetParam();
  shell.fitInto(c.available);
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  QApplication::processEvents();
  EXPECT_TRUE(c.available.contains(shell.frameGeometry())) << shell.frameGeometry().width() << "x"
                                                           << shell.frameGeometry().height();
  EXPECT_EQ(shell.bench().isFloating(), !c.benchDocked);
  EXPECT_TRUE(c.available.contains(shell.bench().frameGeometry()));
  // Beside the station, not over it.
  EXPECT_FALSE(shell.bench().frameGeometry().intersects(
      QRect(shell.stationWindow().mapToGlobal(QPoint(0, 0)), shell.stationWindow().size())));
  for (const char* name : {"plugInterface", "plugSensor", "unplugSensor"}) {
    auto* button = shell.bench().findChild<QPushButton*>(QString::fromUtf8(name));
    ASSERT_NE(button, nullptr) << name;
    // Whole on the screen, and not scrolled out of the bench's view.
    const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
    EXPECT_TRUE(c.available.contains(onScreen)) << name;
    EXPECT_EQ(button->visibleRegion().boundingRect(), button->rect()) << name;
  }
  plugWithEveryColumn(shell);
  EXPECT_NE(shell.station().sensor(), nullptr);
  EXPECT_EQ(outOfReach(shell.stationWindow()), std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(Screens, FittedStation,
                         ::testing::Values(ScreenCase{"laptop_1280x800", QRect(0, 0, 1280, 800 - 32), true},
                                           ScreenCase{"laptop_1366x768", QRect(0, 0, 1366, 768 - 32), true},
                                           ScreenCase{"desktop_1920x1080", QRect(0, 0, 1920, 1080 - 32), true}),
                         [](const auto& info) { return std::string(info.param.name); });

// On a real X server under a window manager (on_xvfb.sh runs it at 1280×800): the
// frame the window manager draws, title bar and all, is on the screen with the
// bench beside the station, and every control is in reach. The picture it takes
// is the operator's guide's.
TEST(OnTheScreen, StationAndBenchFitTheScreenWithEveryControlInReach) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "runs on an X server: on_xvfb.sh";
  MemoryRegistry registry;
  sim::SimulatorShell shell{registry, samplePaths()};
  const QRect screen = shell.screen()->availableGeometry();
  shell.fitInto(screen);
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  // The window manager has framed it once the frame is larger than the window.
  ASSERT_TRUE(QTest::qWaitFor([&] { return shell.frameGeometry().size() != shell.geometry().size(); }));
  EXPECT_TRUE(screen.contains(shell.frameGeometry()))
      << shell.frameGeometry().x() << "," << shell.frameGeometry().y() << " " << shell.frameGeometry().width() << "x"
      << shell.frameGeometry().height() << " on " << screen.width() << "x" << screen.height();
  EXPECT_FALSE(shell.bench().isFloating());
  plugWithEveryColumn(shell);
  EXPECT_EQ(outOfReach(shell.stationWindow()), std::vector<int>{});
  shell.stationWindow().scrollArea()->ensureVisible(0, 0);
  QApplication::processEvents();
  if (const char* picture = std::getenv("TRIMWELL_SCREEN_PICTURE")) {
    EXPECT_TRUE(shell.screen()->grabWindow(0).save(QString::fromUtf8(picture)));
  }
}

// In German the bench's numbers keep the station's decimal point: one separator on
// the screen.
TEST(BenchNumbers, KeepTheStationsDecimalPointInAnyLanguage) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  {
    MemoryRegistry registry;
    sim::SimulatorShell shell{registry, samplePaths()};
    shell.bench().findChild<QPushButton*>(QStringLiteral("plugInterface"))->click();
    shell.bench().findChild<QPushButton*>(QStringLiteral("plugSensor"))->click();
    const QList<QDoubleSpinBox*> inputs = shell.bench().findChildren<QDoubleSpinBox*>();
    ASSERT_FALSE(inputs.isEmpty());
    for (QDoubleSpinBox* input : inputs) {
      input->setValue(0.5);
      EXPECT_EQ(input->text().indexOf(QLatin1Char(',')), -1) << input->text().toStdString();
      EXPECT_NE(input->text().indexOf(QStringLiteral("0.5")), -1) << input->text().toStdString();
    }
  }
  QLocale::setDefault(before);
}

// The room QLineEdit gives its text: inside the frame its style draws, less its
// margins of 2 pixels each side.
bool showsWhole(const QLineEdit& edit) {
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
  const QRect inside = edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit)
                           .marginsRemoved(edit.textMargins());
  return edit.fontMetrics().horizontalAdvance(edit.text()) <= inside.width() - 2 * 2;
}

std::vector<std::string> cutTexts(QWidget& top) {
  std::vector<std::string> cut;
  for (QLineEdit* edit : top.findChildren<QLineEdit*>()) {
    if (edit->isVisible() && !showsWhole(*edit)) cut.push_back(edit->text().toStdString());
  }
  for (QLabel* label : top.findChildren<QLabel*>()) {
    if (label->isVisible() && !label->wordWrap() && label->width() < label->fontMetrics().horizontalAdvance(label->text())) {
      cut.push_back(label->text().toStdString());
    }
  }
  for (QComboBox* box : top.findChildren<QComboBox*>()) {
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    if (box->isVisible() && !box->isEditable() && field.width() < box->fontMetrics().horizontalAdvance(box->currentText())) {
      cut.push_back(box->currentText().toStdString());
    }
  }
  return cut;
}

// Each sample sensor through the bench, its readings driven to both ends of what
// its raw inputs take, with every reading column shown, at the station's smallest.
class WholeTexts : public ::testing::TestWithParam<const char*> {
 protected:
  MemoryRegistry registry;
  sim::SimulatorShell shell{registry, samplePaths()};
};

TEST_P(WholeTexts, NothingIsCutOnTheStationOrTheBench) {
  shell.fitInto(QRect(0, 0, 1366, 768 - 32));
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  StationWindow& window = shell.stationWindow();
  window.stopTimer();
  auto* files = shell.bench().findChild<QComboBox*>(QStringLiteral("sensorFile"));
  ASSERT_NE(files, nullptr);
  const int index = files->findText(QString::fromUtf8(GetParam()));
  ASSERT_GE(index, 0);
  files->setCurrentIndex(index);
  // An interface with today's firmware: no update to wait for.
  shell.bench().findChild<QComboBox*>(QStringLiteral("firmware"))->setCurrentText(QStringLiteral("1.8"));
  shell.bench().findChild<QPushButton*>(QStringLiteral("plugInterface"))->click();
  shell.bench().findChild<QPushButton*>(QStringLiteral("plugSensor"))->click();
  window.runTick();
  ASSERT_GT(shell.station().dialog().session().rowCount, 0);
  for (int id : {ids::kShowRaw, ids::kShowMinMax}) qobject_cast<QAbstractButton*>(window.controls().widget(id))->click();
  const QList<QDoubleSpinBox*> inputs = shell.bench().findChildren<QDoubleSpinBox*>();
  ASSERT_GE(inputs.size(), 2);  // the sensor's raw inputs, and the noise
  for (double value : {-1e6, 0.0, 1e6}) {
    for (qsizetype i = 0; i + 1 < inputs.size(); ++i) inputs[i]->setValue(value);
    window.runTick();
    QApplication::processEvents();
    for (const std::string& text : cutTexts(window)) ADD_FAILURE() << "station, input " << value << ": " << text;
  }
  for (const std::string& text : cutTexts(shell.bench())) ADD_FAILURE() << "bench: " << text;
}

// The texts seen cut on the smallest simulated station, in the columns they stand
// in, on a sensor whose rows are all shown.
TEST(WholeTexts, ReadingsSeenCutFitTheirColumns) {
  MemoryRegistry registry;
  sim::SimulatorShell shell{registry, samplePaths()};
  shell.fitInto(QRect(0, 0, 1366, 768 - 32));
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  StationWindow& window = shell.stationWindow();
  window.stopTimer();
  shell.station().plugInterface(0x0002, 1, 8);
  ASSERT_TRUE(shell.station().plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds"));
  window.runTick();
  for (int id : {ids::kShowRaw, ids::kShowMinMax}) qobject_cast<QAbstractButton*>(window.controls().widget(id))->click();
  QApplication::processEvents();
  const std::pair<int, const char*> seen[] = {{ids::kMeasurement, "Conductivity = 1500.0000 \u00b5S/cm"},
                                              {ids::kMeasurement + 1, "Dissolved oxygen = -1234.5678 mg/L"},
                                              {ids::kMinimum, "-12345.6789"},
                                              {ids::kMaximum + 1, "-12345.6789"},
                                              {ids::kRaw, "0xffffffff"}};
  for (const auto& [id, text] : seen) {
    auto* edit = qobject_cast<QLineEdit*>(window.controls().widget(id));
    ASSERT_TRUE(edit->isVisible()) << id;
    edit->setText(QString::fromUtf8(text));
    EXPECT_TRUE(showsWhole(*edit)) << text << " in " << edit->width() << " px";
  }
}

// The reading column grows for the library's names, but not past a laptop's screen.
TEST(WholeTexts, ALibraryOfLongNamesKeepsTheWindowOnALaptopScreen) {
  const auto measurementWidth = [](const std::string& library) {
    MemoryRegistry registry;
    DialogPaths paths;
    paths.datasheetFolder = library;
    std::unique_ptr<sim::SimulatedStation> station;
    StationWindow window([&](WindowControls& controls) -> CalibrationDialog& {
      station = std::make_unique<sim::SimulatedStation>(controls, registry, paths);
      return station->dialog();
    });
    const std::pair<int, int> widths{window.controls().widget(ids::kMeasurement)->minimumWidth(),
                                     window.wholeSize().width()};
    station.reset();
    return widths;
  };
  test::TempDir empty;
  const auto [designed, designedWindow] = measurementWidth(empty.path().string());
  const auto [samples, samplesWindow] = measurementWidth(TRIMWELL_SAMPLE_DIR);
  EXPECT_GT(samples, designed);  // "Conductivity = -12345.6789 µS/cm" needs more
  EXPECT_GT(samplesWindow, designedWindow);
  EXPECT_LE(samplesWindow, StationWindow::kLargestMinimumWidth);
  Datasheet d;
  d.sensorId = 301;
  d.lengthLimit = 2048;
  test::setVersion(d, "1.00");
  test::addRaw(d, 1, kRawLong, 4);
  test::addDerived(d, 10, kCalibrated, {1}, 0, {0, 0, 1, 1}).primaryText.text.assign(200, u'W');
  test::TempDir library;
  library.write("long_names.sds", test::encodeImage(d));
  const auto [capped, cappedWindow] = measurementWidth(library.path().string());
  EXPECT_GE(capped, samples);
  EXPECT_LE(cappedWindow, StationWindow::kLargestMinimumWidth);
}

INSTANTIATE_TEST_SUITE_P(SampleSensors, WholeTexts,
                         ::testing::Values("thermal_probe_221.sds", "ph_electrode_235.sds", "oxygen_probe_243.sds"),
                         [](const auto& info) {
                           const std::string file = info.param;
                           return file.substr(0, file.find('.'));
                         });

}  // namespace
}  // namespace trimwell

namespace trimwell {
namespace {

// Closing the simulated station with a point taken asks, as the station does: No
// keeps it open with its point, Yes closes it.
TEST(SimulatorClose, AsksBeforePointsTakenAreLost) {
  MemoryRegistry registry;
  sim::SimulatorShell shell{registry, samplePaths()};
  StationWindow& window = shell.stationWindow();
  window.stopTimer();
  shell.show();
  shell.station().plugInterface(0x0002, 1, 8);
  ASSERT_TRUE(shell.station().plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds"));
  window.runTick();
  auto* data = qobject_cast<QLineEdit*>(window.controls().widget(ids::kPt1Data));
  ASSERT_NE(data, nullptr);
  data->clear();
  QTest::keyClicks(data, QStringLiteral("20"));
  qobject_cast<QAbstractButton*>(window.controls().widget(ids::kPoint1))->click();
  ASSERT_TRUE(shell.station().dialog().session().pointsPending);
  std::vector<std::string> asked;
  QMessageBox::StandardButton answer = QMessageBox::No;
  window.controls().boxOpened = [&](QMessageBox& box) {
    asked.push_back(box.text().toStdString());
    box.done(answer);
  };
  EXPECT_FALSE(shell.close());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].rfind("Calibration points are taken and not yet written into the sensor", 0), 0u) << asked[0];
  EXPECT_TRUE(shell.isVisible());
  EXPECT_TRUE(shell.station().dialog().session().pointsPending);
  // File > Quit (Ctrl+Q) closes the whole simulator, asking the same.
  answer = QMessageBox::Yes;
  auto* quit = window.findChild<QAction*>(QStringLiteral("quit"));
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->shortcut(), QKeySequence(QKeySequence::Quit));
  quit->trigger();
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_FALSE(shell.isVisible());
}

}  // namespace
}  // namespace trimwell
