// The Qt window on the offscreen platform: its controls, their wiring, and a
// picture of the station at work.
#include "app/qt/station_window.h"
#include "documents/laboratory.h"

#include <QProgressDialog>
#include <QTableWidget>
#include <QTextEdit>
#include <fstream>
#include <map>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QMenuBar>
#include <QMenu>
#include <QImage>

#include <gtest/gtest.h>

#include "documents/laboratory.h"

#include "app/dialog_layout.h"
#include "app/control_ids.h"
#include "sim/station/simulated_station.h"
#include "support/sheet_builder.h"
#include "support/sample_paths.h"
#include "support/temp_dir.h"
#include "app/qt/guide_window.h"
#include "app/qt/records_window.h"
#include "app/qt/trend_plot.h"

namespace trimwell {
namespace {

bool isRawEntry(int id) {
  int row = 0;
  return ids::inRow(id, ids::kPt1Raw, row) || ids::inRow(id, ids::kPt2Raw, row);
}

class Window : public ::testing::Test {
 protected:
  Window()
      : window([this](WindowControls& controls) -> CalibrationDialog& {
          station = std::make_unique<sim::SimulatedStation>(controls, registry, paths());
          return station->dialog();
        }) {}
  // A box nobody answers would hold the test in its event loop for good.
  void SetUp() override {
    window.controls().boxOpened = [](QMessageBox& box) {
      ADD_FAILURE() << "unexpected message: " << box.text().toStdString();
      box.done(QMessageBox::Ok);
    };
  }
  ~Window() override { station.reset(); }
  static DialogPaths paths() { return test::samplePaths(); }

  MemoryRegistry registry;
  std::unique_ptr<sim::SimulatedStation> station;
  StationWindow window;
};

TEST_F(Window, EveryControlIsAWidgetOfItsKind) {
  for (const ControlSpec& entry : dialogControls()) {
    QWidget* w = window.controls().widget(entry.id);
    ASSERT_NE(w, nullptr) << entry.id;
    switch (entry.kind) {
      case ControlKind::Button:
        ASSERT_NE(qobject_cast<QPushButton*>(w), nullptr) << entry.id;
        EXPECT_EQ(qobject_cast<QPushButton*>(w)->text().toStdString(), entry.caption) << entry.id;
        break;
      case ControlKind::CheckBox:
        ASSERT_NE(qobject_cast<QCheckBox*>(w), nullptr) << entry.id;
        EXPECT_EQ(qobject_cast<QCheckBox*>(w)->text().toStdString(), entry.caption) << entry.id;
        break;
      case ControlKind::RadioButton:
        EXPECT_NE(qobject_cast<QRadioButton*>(w), nullptr) << entry.id;
        break;
      case ControlKind::Edit:
      case ControlKind::ReadOnlyEdit:
        if (entry.id == ids::kCustomerAddress) {
          ASSERT_NE(qobject_cast<QPlainTextEdit*>(w), nullptr);  // its lines
          EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(w)->tabChangesFocus());
          break;
        }
        ASSERT_NE(qobject_cast<QLineEdit*>(w), nullptr) << entry.id;
        // A raw value is typed only with a manual point, which no row has before a sensor.
        EXPECT_EQ(qobject_cast<QLineEdit*>(w)->isReadOnly(),
                  entry.kind == ControlKind::ReadOnlyEdit || isRawEntry(entry.id)) << entry.id;
        break;
      case ControlKind::Label:
        break;
      case ControlKind::Choice:
        ASSERT_NE(qobject_cast<QComboBox*>(w), nullptr) << entry.id;
        EXPECT_TRUE(qobject_cast<QComboBox*>(w)->isEditable()) << entry.id;
        break;
    }
  }
  EXPECT_EQ(window.windowTitle().toStdString(), "Trimwell");
  for (const ControlSpec& entry : dialogControls()) {
    EXPECT_GT(window.controls().widget(entry.id)->toolTip().size(), 20) << entry.id;
  }
  EXPECT_EQ(window.controls().widget(ids::kRowCheck + 3)->toolTip().toStdString(),
            "Leave this row out: it is written as a plain line");
  EXPECT_EQ(window.controls().text(ids::kStatus), "No Sensor Detected...");
  EXPECT_TRUE(window.controls().widget(ids::kMeasurement)->isHidden());
}

TEST_F(Window, ClicksAndTypingReachTheDialog) {
  station->plugInterface(0x0002, 1, 8);
  station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  station->tick();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QWidget* showRaw = window.controls().widget(ids::kShowRaw);
  QTest::mouseClick(showRaw, Qt::LeftButton, {}, QPoint(8, showRaw->height() / 2));  // on its box
  EXPECT_EQ(station->dialog().session().options.showRaw, 1u);
  EXPECT_FALSE(window.controls().widget(ids::kRaw)->isHidden());
  auto* data = qobject_cast<QLineEdit*>(window.controls().widget(ids::kPt1Data));
  data->setFocus();
  QTest::keyClicks(data, QStringLiteral("0x10"));
  EXPECT_DOUBLE_EQ(station->dialog().session().rows[0].point1Data, 16.0);
  QWidget* point1 = window.controls().widget(ids::kPoint1);
  QTest::mouseClick(point1, Qt::LeftButton, {}, point1->rect().center());
  EXPECT_EQ(station->dialog().session().step, kWaitPoint2);
  EXPECT_TRUE(window.controls().widget(ids::kPoint2)->hasFocus());
}

// Tab goes from the unit and its owner through the conditions to the first row's
// points and on row by row, never into a box that only shows; the point keys
// press the enabled point, as its tip says.
TEST_F(Window, TabFollowsTheWorkAndThePointKeysPressTheEnabledPoint) {
  station->plugInterface(0x0002, 1, 8);
  station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  station->tick();
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  std::map<QWidget*, int> idOf;
  for (const ControlSpec& entry : dialogControls()) idOf[window.controls().widget(entry.id)] = entry.id;
  window.controls().widget(ids::kUnit)->setFocus();
  std::vector<int> visited{ids::kUnit};
  for (int k = 0; k < 40; ++k) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    const auto found = idOf.find(QApplication::focusWidget());
    visited.push_back(found != idOf.end() ? found->second : -1);
  }
  const std::vector<int> first(visited.begin(), visited.begin() + 9);
  EXPECT_EQ(first, (std::vector<int>{ids::kUnit, ids::kCustomer, ids::kCustomerAddress, ids::kCustomerEmail,
                                     ids::kAmbientTemperature, ids::kRelativeHumidity, ids::kPt1Data, ids::kPoint1,
                                     ids::kPt2Data}));
  const auto at = [&visited](int id) { return std::find(visited.begin(), visited.end(), id) - visited.begin(); };
  EXPECT_LT(at(ids::kPt2Data), at(ids::kPt1Data + 1));
  EXPECT_LT(at(ids::kPt1Data + 1), at(ids::kPt1Data + 2));
  for (const int id : visited) {
    int row = 0;
    const bool shows = id == ids::kStatus || id == ids::kResult || ids::inRow(id, ids::kMeasurement, row) ||
                       ids::inRow(id, ids::kRaw, row) || ids::inRow(id, ids::kPt1Raw, row) ||
                       ids::inRow(id, ids::kRowVerdict, row);
    EXPECT_FALSE(shows) << id << " took the focus";
  }

  EXPECT_NE(window.controls().widget(ids::kPoint1 + 1)->toolTip().indexOf(QStringLiteral("Ctrl+1")), -1);
  for (int row : {0, 1}) {
    window.controls().setText(ids::kPt1Data + row, "10");
    window.controls().setText(ids::kPt2Data + row, "90");
  }
  QTest::keyClick(&window, Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(station->dialog().session().step, kWaitPoint2);
  EXPECT_EQ(station->dialog().session().currentRow, 0);
  QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(station->dialog().session().step, kWaitPoint1);
  EXPECT_EQ(station->dialog().session().currentRow, 1);
  QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);  // Point 2 is not yet enabled: nothing
  EXPECT_EQ(station->dialog().session().currentRow, 1);
  QTest::keyClick(&window, Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(station->dialog().session().step, kWaitPoint2);
  EXPECT_EQ(station->dialog().session().currentRow, 1);
}

TEST_F(Window, RedTextForTheSelectedGainRow) {
  station->plugInterface(0x0002, 1, 8);
  station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  station->tick();
  qobject_cast<QCheckBox*>(window.controls().widget(ids::kAutoGainSet))->click();
  qobject_cast<QRadioButton*>(window.controls().widget(ids::kGain + 1))->click();
  const QColor red = window.controls().widget(ids::kMeasurement + 1)->palette().color(QPalette::Text);
  const QColor plain = window.controls().widget(ids::kMeasurement)->palette().color(QPalette::Text);
  EXPECT_EQ(red, QColor(255, 0, 0));
  EXPECT_NE(plain, QColor(255, 0, 0));
}

// A sensor with six calibrated rows and every column and option shown.
class FullWindow : public Window {
 protected:
  void SetUp() override {
    window.controls().boxOpened = [this](QMessageBox& box) {
      boxes.push_back(box.text().toStdString());
      box.done(QMessageBox::Ok);
    };
    station->plugInterface(0x0002, 1, 8).plugSensor(
        std::make_unique<sim::SimulatedSensor>(test::calibratedLinesImage(6)));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    startSize = window.size();
    station->tick();
    for (int id : {ids::kShowRaw, ids::kShowMinMax, ids::kAutoGainSet, ids::kMultipleManualModes, ids::kDoFactoryInit}) {
      qobject_cast<QAbstractButton*>(window.controls().widget(id))->click();
    }
    QApplication::processEvents();
  }
  std::vector<QWidget*> shownControls() {
    std::vector<QWidget*> shown;
    for (const ControlSpec& entry : dialogControls()) {
      QWidget* w = window.controls().widget(entry.id);
      if (w->isVisible()) shown.push_back(w);
    }
    return shown;
  }

  std::vector<std::string> boxes;
  QSize startSize;
};

TEST_F(FullWindow, FitsALaptopScreenAndNothingOverlapsAtItsSmallest) {
  EXPECT_LE(window.wholeSize().width(), 1366);
  EXPECT_LE(window.wholeSize().height(), 700);  // 768 less a panel and a title bar
  window.resize(10, 10);  // below the least a person may make it: refused
  QApplication::processEvents();
  EXPECT_EQ(window.size(), StationWindow::kSmallestSize);
  window.resize(window.wholeSize());
  QApplication::processEvents();
  auto shown = shownControls();
  // status, result, information; the unit, customer (with address and e-mail) and conditions; nine options
  // and the stable-only one; buttons and ID box, and the wireless port chooser; six
  // rows of 14 and their stability marks
  ASSERT_EQ(shown.size(), 3u + 6 + 10 + 6 + 6 * 15);
  window.runTick();  // the trend plots follow their rows at each tick
  // (TrendPlot has no meta-object of its own: it is found by name.)
  for (int i = 0; i < ids::kRows; ++i) {
    auto* plot = window.findChild<QWidget*>(QStringLiteral("trendPlot%1").arg(i));
    ASSERT_NE(plot, nullptr);
    EXPECT_TRUE(plot->isVisible()) << i;
    shown.push_back(plot);
  }
  for (std::size_t a = 0; a < shown.size(); ++a) {
    const QRect ra(shown[a]->mapTo(&window, QPoint(0, 0)), shown[a]->size());
    EXPECT_TRUE(window.rect().contains(ra)) << shown[a]->objectName().toStdString();
    for (std::size_t b = a + 1; b < shown.size(); ++b) {
      const QRect rb(shown[b]->mapTo(&window, QPoint(0, 0)), shown[b]->size());
      EXPECT_FALSE(ra.intersects(rb)) << shown[a]->objectName().toStdString() << " and "
                                      << shown[b]->objectName().toStdString();
    }
  }
}

TEST_F(FullWindow, SensorEventsAndVerifyLeaveTheSizeAlone) {
  EXPECT_EQ(window.size(), startSize);
  window.runTick();
  ASSERT_FALSE(window.rowHeadings().empty());
  for (const QLabel* heading : window.rowHeadings()) EXPECT_TRUE(heading->isVisible());
  qobject_cast<QAbstractButton*>(window.controls().widget(ids::kVerify))->click();
  station->tick();
  station->unplugSensor();
  station->tick();
  QApplication::processEvents();
  EXPECT_EQ(window.size(), startSize);
  // Without a sensor there are no rows, and their headings go with them.
  window.runTick();
  for (const QLabel* heading : window.rowHeadings()) EXPECT_FALSE(heading->isVisible());
}

// A calibration through the window's own controls, recorded in the station's store.
class RecordedWindow : public ::testing::Test {
 protected:
  RecordedWindow()
      : window([this](WindowControls& controls) -> CalibrationDialog& {
          station = std::make_unique<sim::SimulatedStation>(controls, registry,
                                                            test::samplePaths(folder.file("records.sqlite")));
          return station->dialog();
        }) {}
  ~RecordedWindow() override { station.reset(); }
  void calibrate() {
    station->plugInterface(0x0002, 1, 8);
    station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
    station->tick();
    auto& c = window.controls();
    auto click = [&](int id) { qobject_cast<QAbstractButton*>(c.widget(id))->click(); };
    auto type = [&](int id, const char* text) { qobject_cast<QLineEdit*>(c.widget(id))->setText(QString::fromUtf8(text)); };
    click(ids::kSimultaneousCal);
    type(ids::kPt1Data, "0");
    type(ids::kPt2Data, "100");
    type(ids::kPt1Data + 1, "0");
    type(ids::kPt2Data + 1, "10");
    station->sensor()->setInput(1, 400);
    station->sensor()->setInput(2, 3);
    station->tick();
    click(ids::kPoint1);
    station->sensor()->setInput(1, 800);
    station->sensor()->setInput(2, 6);
    station->tick();
    click(ids::kPoint2);
  }
  static std::string pdfText(const std::string& pdf) {
    const std::string text = pdf + ".txt";
    if (std::system(("pdftotext -layout " + pdf + " " + text).c_str()) != 0) return "pdftotext failed";
    std::ifstream in(text);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  test::TempDir folder;
  MemoryRegistry registry;
  std::unique_ptr<sim::SimulatedStation> station;
  StationWindow window;
};

TEST_F(RecordedWindow, ResultRecordsViewCertificateAndExport) {
  calibrate();
  EXPECT_EQ(window.controls().text(ids::kResult), "Calibration written and verified (record 1)");
  RecordsWindow records(station->dialog(), &window);
  ASSERT_EQ(records.table()->rowCount(), 1);
  EXPECT_EQ(records.table()->item(0, 5)->text().toStdString(), "written and verified");
  records.table()->selectRow(0);
  const std::string details = records.details()->toPlainText().toStdString();
  EXPECT_NE(details.find("As found / as left"), std::string::npos) << details;
  EXPECT_NE(details.find("10 Temperature"), std::string::npos) << details;

  const std::string pdf = folder.file("certificate.pdf");
  // No laboratory, no certificate; a laboratory's is numbered once.
  EXPECT_FALSE(records.saveCertificate(QString::fromStdString(pdf)));
  Laboratory lab;
  lab.name = "Kalibrierlabor Nord";
  ASSERT_TRUE(lab.save(station->dialog().settingsRegistry()));
  // An unsigned record has no certificate where the lab requires approval, and no number.
  EXPECT_FALSE(records.saveCertificate(QString::fromStdString(pdf)));
  lab.requireApproval = "no";
  ASSERT_TRUE(lab.save(station->dialog().settingsRegistry()));
  ASSERT_TRUE(records.saveCertificate(QString::fromStdString(pdf)));
  CalibrationRecord kept;
  ASSERT_TRUE(station->dialog().recordKeeping().store()->load(station->dialog().recordKeeping().lastRecord(), kept));
  EXPECT_EQ(kept.certificateNumber.rfind("LAB-S1-", 0), 0u) << kept.certificateNumber;
  const std::string text = pdfText(pdf);
  for (const char* wanted : {"Calibration certificate", "Certificate number LAB-S1-", "DRAFT - not approved", "Thermal", "version 1.02",
                             "written and verified", "Row 1: Temperature", "400", "800", "100", "End of certificate"}) {
    EXPECT_NE(text.find(wanted), std::string::npos) << wanted << " in\n" << text;
  }
  const std::string csv = folder.file("records.csv");
  ASSERT_TRUE(records.exportSelected(QString::fromStdString(csv)));
  std::ifstream in(csv);
  const std::string exported((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 3);  // heading and two rows
  EXPECT_NE(exported.find(",221,"), std::string::npos);
}

TEST_F(RecordedWindow, RestoreFromTheViewPutsTheSensorBack) {
  station->plugInterface(0x0002, 1, 8);
  station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  const auto asFound = station->sensor()->storedImage();
  calibrate();
  ASSERT_NE(station->sensor()->storedImage(), asFound);
  RecordsWindow records(station->dialog(), &window);
  records.table()->selectRow(0);
  records.restoreSelected(true);
  EXPECT_EQ(station->sensor()->storedImage(), asFound);
  EXPECT_EQ(window.controls().text(ids::kResult), "Restore written and verified (record 2)");
  ASSERT_EQ(records.table()->rowCount(), 2);
  EXPECT_EQ(records.table()->item(0, 0)->text().toStdString(), "2");  // newest first
}

TEST_F(Window, FirmwareUpdateShowsItsProgressAndResult) {
  station->plugInterface(0x0002, 1, 7);
  station->tick();
  auto* progress = window.findChild<QProgressDialog*>(QStringLiteral("firmwareProgress"));
  ASSERT_NE(progress, nullptr);
  EXPECT_GT(progress->maximum(), 1000);
  EXPECT_EQ(progress->value(), progress->maximum());
  EXPECT_EQ(progress->labelText().toStdString(), "Writing the Dockmon's firmware: " +
                                                     std::to_string(progress->maximum()) + " of " +
                                                     std::to_string(progress->maximum()) + " bytes");
  EXPECT_FALSE(progress->isVisible());  // closed at the end, not left over the options
  station->tick();
  EXPECT_EQ(window.controls().text(ids::kResult), "Dockmon firmware 1.7 \u2192 1.8");
  EXPECT_NE(window.controls().text(ids::kInfo).find("firmware 1.8"), std::string::npos);
}

// The chooser's list is made when it opens, so a port that appeared since is in
// it; a pick with the mouse connects, and the next tick finds the interface.
TEST_F(Window, WirelessPortChooserListsPortsWhenOpenedAndAPickConnects) {
  auto* chooser = qobject_cast<QComboBox*>(window.controls().widget(ids::kWirelessPort));
  ASSERT_NE(chooser, nullptr);
  window.show();
  ASSERT_TRUE(chooser->isVisible());
  EXPECT_EQ(chooser->currentText().toStdString(), "none");
  ASSERT_TRUE(station->switchWirelessOn());
  station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  const QString port = QString::fromStdString(station->wireless()->portPath());
  ASSERT_EQ(chooser->findText(port), -1);
  chooser->showPopup();
  const int row = chooser->findText(port);
  ASSERT_GE(row, 0);
  EXPECT_EQ(chooser->itemText(0).toStdString(), "none");
  QAbstractItemView* list = chooser->view();
  const QRect item = list->visualRect(list->model()->index(row, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
  EXPECT_EQ(chooser->currentText(), port);
  EXPECT_TRUE(station->wirelessPort().connected());
  EXPECT_EQ(window.controls().text(ids::kInfo).rfind(
                "Interface: none; looking for the wireless interface on " + port.toStdString() + "\n", 0),
            0u);
  station->tick();
  EXPECT_EQ(window.controls().text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  EXPECT_EQ(window.controls().text(ids::kInfo).rfind("Interface: wireless, product 0x0007 (Ventrix), firmware 0x40, port " +
                                                         port.toStdString() + "\nSensor: ID 221",
                                                     0),
            0u);
}

// A rising minute with a gap of unreadable samples: the newest reading at the top
// right, the oldest at the bottom left, and nothing drawn across the gap.
TEST(TrendPlotPicture, NewestAtTheRightScaledToTheMinuteAndGapsLeftOpen) {
  RowTrend trend;
  for (std::size_t i = 0; i < RowTrend::kHistory; ++i) {
    trend.add(i >= 60 && i < 70 ? NAN : static_cast<double>(i));
  }
  TrendPlot plot([&trend] { return &trend; });
  const QImage picture = plot.grab().toImage();
  // Rows of the column at x, not counting the border, where the line is.
  const auto lineRows = [&picture](int x) {
    std::vector<int> rows;
    for (int y = 1; y < picture.height() - 1; ++y) {
      const QColor c = picture.pixelColor(x, y);
      if (c.blue() - c.red() > 40) rows.push_back(y);
    }
    return rows;
  };
  const double step = (picture.width() - 4.0) / static_cast<double>(RowTrend::kHistory - 1);
  const auto column = [&](std::size_t i) { return static_cast<int>(std::lround(2.0 + step * static_cast<double>(i))); };
  // (The very ends fall on a pixel's edge: the columns next to them are checked.)
  const std::vector<int> newest = lineRows(column(RowTrend::kHistory - 2));
  ASSERT_FALSE(newest.empty());
  EXPECT_LE(newest.front(), 5);
  const std::vector<int> oldest = lineRows(column(1));
  ASSERT_FALSE(oldest.empty());
  EXPECT_GE(oldest.back(), picture.height() - 5);
  EXPECT_TRUE(lineRows(column(65)).empty());
  EXPECT_FALSE(lineRows(column(30)).empty());
}

TEST_F(Window, aboutText) {
  const std::string about = CalibrationDialog::aboutText();
  EXPECT_EQ(about.rfind("Trimwell Version 1.21\nBuilt ", 0), 0u);
  EXPECT_NE(about.find(" -- "), std::string::npos);
}

// The menus as a desktop has them, and Help's guide is the README's, pictures and all.
TEST_F(Window, MenusHoldTheLabsSettingsTogetherAndHelpOpensTheGuide) {
  std::vector<std::string> menus;
  for (QAction* a : window.findChild<QMenuBar*>()->actions()) menus.push_back(a->text().toStdString());
  EXPECT_EQ(menus, (std::vector<std::string>{"&File", "&Settings", "&Help"}));
  std::vector<std::string> settings;
  for (QAction* a : window.findChild<QMenuBar*>()->actions()[1]->menu()->actions()) {
    settings.push_back(a->text().toStdString());
  }
  EXPECT_EQ(settings, (std::vector<std::string>{"La&boratory...", "Rules and &tolerances...", "Reference &standards...",
                                                "Reference &instrument..."}));
  window.findChild<QAction*>(QStringLiteral("operatorsGuide"))->trigger();
  auto* guide = window.findChild<GuideWindow*>();
  ASSERT_NE(guide, nullptr);
  const QString text = guide->text()->toPlainText();
  EXPECT_TRUE(text.startsWith(QStringLiteral("Operator's guide"))) << text.left(80).toStdString();
  EXPECT_NE(text.indexOf(QStringLiteral("Plugging an interface and a sensor")), -1);
  EXPECT_EQ(text.indexOf(QStringLiteral("The records from the command line")), -1);  // the guide only
  const QVariant picture = guide->text()->document()->resource(QTextDocument::ImageResource,
                                                                QUrl(QStringLiteral("docs/screenshots/station-live.png")));
  EXPECT_FALSE(picture.value<QImage>().isNull());
  // Every link of the guide to one of its sections finds it.
  guide->resize(900, 640);
  int links = 0;
  for (QTextBlock block = guide->text()->document()->begin(); block.isValid(); block = block.next()) {
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
      const QString href = fragment.fragment().charFormat().anchorHref();
      if (!href.startsWith(QLatin1Char('#'))) continue;
      EXPECT_TRUE(guide->showSection(href.mid(1))) << href.toStdString();
      ++links;
    }
  }
  EXPECT_GE(links, 5);
  ASSERT_TRUE(guide->showSection(QStringLiteral("a-sequential-calibration")));
  EXPECT_GT(guide->text()->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(guide->text()->textCursor().block().text().startsWith(QStringLiteral("A sequential calibration")));
  EXPECT_FALSE(guide->showSection(QStringLiteral("no-such-section")));
  guide->close();
}

// The window of a station in the middle of a calibration, for a person to look at.
TEST_F(Window, Screenshot) {
  station->plugInterface(0x0002, 1, 8);
  station->plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds");
  station->sensor()->setInput(1, 420);
  station->sensor()->setInput(2, 1.2);
  station->tick();
  auto& controls = window.controls();
  qobject_cast<QCheckBox*>(controls.widget(ids::kShowRaw))->click();
  qobject_cast<QCheckBox*>(controls.widget(ids::kShowMinMax))->click();
  qobject_cast<QLineEdit*>(controls.widget(ids::kPt1Data))->setText(QStringLiteral("0"));
  qobject_cast<QLineEdit*>(controls.widget(ids::kPt2Data))->setText(QStringLiteral("100"));
  station->tick();
  qobject_cast<QPushButton*>(controls.widget(ids::kPoint1))->click();
  station->tick();
  window.resize(1280, 560);
  window.show();
  QApplication::processEvents();
  QDir().mkpath(QStringLiteral(TRIMWELL_SCREENSHOT_DIR));
  const QString file = QStringLiteral(TRIMWELL_SCREENSHOT_DIR "/station.png");
  ASSERT_TRUE(window.grab().save(file));
  EXPECT_GT(QImage(file).width(), 1000);
  EXPECT_TRUE(controls.widget(ids::kPoint2)->isEnabled());
}

}  // namespace
}  // namespace trimwell

int main(int argc, char** argv) {
  // Tests draw offscreen unless told otherwise, also when ctest lists them.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
