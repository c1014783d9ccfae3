// The simulated station's window, and the pictures of it for the operator's guide.
#include "sim/station/qt/simulator_window.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "app/qt/certificate.h"
#include "app/qt/station_window.h"
#include "app/control_ids.h"
#include "platform/default_paths.h"
#include "platform/qt/qsettings_registry.h"
#include "sim/station/qt/bench_panel.h"
#include "sim/station/simulated_station.h"

namespace trimwell::sim {

SimulatorShell::SimulatorShell(Registry& settings, const DialogPaths& paths, QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Trimwell (simulated station)"));
  window_ = new StationWindow(
      [&](WindowControls& controls) -> CalibrationDialog& {
        station_ = std::make_unique<SimulatedStation>(controls, settings, paths);
        return station_->dialog();
      },
      this);
  window_->onTick = [this] { station_->tick(); };
  setCentralWidget(window_);
  // The bench scrolls rather than grow past the screen: a sensor with many inputs
  // makes it tall.
  auto* scroll = new QScrollArea;
  scroll->setWidget(makeBenchPanel(*station_, paths.datasheetFolder, scroll));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  bench_ = new QDockWidget(QStringLiteral("Trimwell bench"), this);
  bench_->setObjectName(QStringLiteral("benchDock"));
  bench_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  bench_->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
  bench_->setWidget(scroll);
  addDockWidget(Qt::RightDockWidgetArea, bench_);
}

// The dialog belongs to the simulated station, and goes before the window does.
SimulatorShell::~SimulatorShell() { station_.reset(); }

void SimulatorShell::closeEvent(QCloseEvent* event) {
  if (window_ != nullptr && window_->isVisible() && !window_->close()) {
    event->ignore();
    return;
  }
  event->accept();
}

void SimulatorShell::fitInto(const QRect& available) {
  auto* scroll = qobject_cast<QScrollArea*>(bench_->widget());
  const QSize benchSize = scroll->widget()->sizeHint();
  // As wide as the bench's widest line, with room for the scroll bar it may need.
  scroll->setMinimumWidth(benchSize.width() + scroll->verticalScrollBar()->sizeHint().width());
  // Docked beside the station, where a window manager cannot stack it behind: on a
  // screen too small for both whole, the station scrolls.
  bench_->setFloating(false);
  const QSize chrome = window_->frameAllowance();
  layout()->activate();
  const QSize whole(window_->wholeSize().width() + scroll->minimumWidth() + 12,
                    std::max(window_->wholeSize().height(), std::min(benchSize.height(), 640)));
  resize(whole.boundedTo(available.size() - chrome));
  move(available.topLeft());
}

}  // namespace trimwell::sim

namespace {

// The station and its bench as they stand on a screen of the given size.
QPixmap screenPicture(trimwell::sim::SimulatorShell& shell, const QRect& screen) {
  QPixmap picture(screen.size());
  picture.fill(QColor(0x3b, 0x45, 0x4f));
  QPainter painter(&picture);
  painter.drawPixmap(shell.geometry().topLeft() - screen.topLeft(), shell.grab());
  QDockWidget& bench = shell.bench();
  if (bench.isFloating()) painter.drawPixmap(bench.geometry().topLeft() - screen.topLeft(), bench.grab());
  return picture;
}

// The first page of the certificate of the calibration the pictures took, as a
// reader's viewer shows it (poppler draws the PDF).
int certificatePage(trimwell::StationWindow& window, const QString& folder) {
  using namespace trimwell;
  RecordStore* store = window.dialog().recordKeeping().store();
  CalibrationRecord record;
  if (store == nullptr || window.dialog().recordKeeping().lastRecord().empty() ||
      !store->load(window.dialog().recordKeeping().lastRecord(), record)) {
    std::fprintf(stderr, "screenshots: the calibration's record cannot be read (%s; %s; %s)\n",
                 store == nullptr ? "no record store" : store->problem().c_str(),
                 window.controls().text(ids::kStatus).c_str(), window.controls().text(ids::kResult).c_str());
    return 1;
  }
  Laboratory lab;
  lab.name = "Kalibrierlabor Nord";
  lab.address = "Hafenstra\u00dfe 3\n20457 Hamburg";
  lab.email = "kalibrierung@nord.example";
  lab.country = "DE";
  lab.requireApproval = "no";
  const QString pdf = folder + "/certificate.pdf";
  std::string problem;
  if (!writeCertificatePdf(record, lab, pdf.toStdString(), problem)) {
    std::fprintf(stderr, "screenshots: no certificate: %s\n", problem.c_str());
    return 1;
  }
  const QString command = "pdftoppm -r 70 -f 1 -l 1 -singlefile -png '" + pdf + "' '" + folder + "/certificate-page'";
  const int status = std::system(command.toUtf8().constData());
  QFile::remove(pdf);
  return status == 0 ? 0 : 1;
}

// Pictures of the station at work for the operator's guide: waiting, live readings,
// a calibration half done, and the simulated station on a laptop's screen.
int takeScreenshots(trimwell::sim::SimulatorShell& shell, const QRect& screen, const QString& folder) {
  using namespace trimwell;
  StationWindow& window = shell.stationWindow();
  sim::SimulatedStation& station = shell.station();
  QDir().mkpath(folder);
  auto save = [&](const QPixmap& picture, const char* name) { return picture.save(folder + "/" + name) ? 0 : 1; };
  // The station's content whole, as a larger screen shows it without scrolling.
  auto snap = [&](StationWindow& station, const char* name) {
    QApplication::processEvents();
    return save(station.scrollArea()->widget()->grab(), name);
  };
  auto click = [&](int id) { qobject_cast<QAbstractButton*>(window.controls().widget(id))->click(); };
  auto type = [&](int id, const char* text) {
    qobject_cast<QLineEdit*>(window.controls().widget(id))->setText(QString::fromUtf8(text));
  };
  shell.show();
  int failures = snap(window, "station-waiting.png");
  station.plugInterface(0x0002, 1, 8);
  // The sensor through the bench, as a trainer plugs it and sets its inputs there.
  shell.bench().findChild<QPushButton*>(QStringLiteral("plugSensor"))->click();
  const QList<QDoubleSpinBox*> inputs =
      shell.bench().findChild<QWidget*>(QStringLiteral("sensorInputs"))->findChildren<QDoubleSpinBox*>();
  if (inputs.size() != 3) return failures + 1;  // the two raw inputs and the noise
  inputs[0]->setValue(420);
  inputs[1]->setValue(1.2);
  inputs[2]->setValue(0.02);
  window.runTick();
  click(ids::kShowRaw);
  click(ids::kShowMinMax);
  for (int i = 0; i < 40; ++i) window.runTick();  // twenty seconds of trend
  failures += snap(window, "station-live.png");
  // The lab's fields, as a technician fills them for a customer's unit.
  type(ids::kUnit, "TP-0042");
  type(ids::kCustomer, "Brook Water Lab");
  window.controls().setText(ids::kCustomerAddress, "Weir Road 7\n20539 Hamburg");
  type(ids::kCustomerEmail, "lab@brook.example");
  type(ids::kAmbientTemperature, "23.1");
  type(ids::kRelativeHumidity, "45");
  type(ids::kPt1Data, "0");
  type(ids::kPt2Data, "100");
  click(ids::kPoint1);  // of the first row
  window.runTick();
  failures += snap(window, "station-calibrating.png");
  QApplication::processEvents();
  failures += save(screenPicture(shell, screen), "simulated-station.png");
  window.runTick();  // the point
  // Point 2 at another input, then the second row's two points, write the
  // calibration; its certificate's first page.
  inputs[0]->setValue(800);
  window.runTick();
  click(ids::kPoint2);
  window.runTick();
  type(ids::kPt1Data + 1, "0");
  type(ids::kPt2Data + 1, "10");
  click(ids::kPoint1 + 1);
  inputs[1]->setValue(2.4);
  window.runTick();
  click(ids::kPoint2 + 1);
  window.runTick();
  failures += certificatePage(window, folder);
  // The same sensor on the wireless interface, its port chosen as an operator would.
  station.unplugInterface();
  window.runTick();
  if (!station.switchWirelessOn()) return failures + 1;
  window.controls().setText(ids::kWirelessPort, station.wireless()->portPath());
  window.dialog().OnControlClicked(ids::kWirelessPort);
  for (int i = 0; i < 20; ++i) window.runTick();
  failures += snap(window, "station-wireless.png");
  return failures;
}

}  // namespace

int runSimulatorWindow(int argc, char** argv, const std::string& settingsFolder, const std::string& screenshots,
                       const trimwell::DialogPaths& given) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(trimwell::stationIcon());
  const std::string folder = settingsFolder.empty() ? trimwell::QSettingsRegistry::defaultFolder() : settingsFolder;
  std::string problem;
  if (!trimwell::stationFoldersReady(folder, problem)) {
    std::cerr << "trimwell-sim: " << problem << "\n";
    return 1;
  }
  trimwell::MemoryRegistry scratch;
  const trimwell::StationPaths files = trimwell::defaultPaths(trimwell::StationProgram::Simulator, folder);
  trimwell::QSettingsRegistry stored(files.settingsFile);
  // Screenshots start from a station nobody has set up.
  trimwell::Registry& settings = screenshots.empty() ? static_cast<trimwell::Registry&>(stored) : scratch;
  trimwell::DialogPaths paths;
  const auto either = [](const std::string& named, const std::string& otherwise) {
    return trimwell::fullPath(named.empty() ? otherwise : named);
  };
  paths.datasheetFolder = either(given.datasheetFolder, files.libraryFolder);
  paths.firmwareFile = either(given.firmwareFile, files.firmwareFile);
  paths.recordsFile = !screenshots.empty()            ? ":memory:"
                      : !given.recordsFile.empty()    ? given.recordsFile
                                                      : files.recordsFile;
  trimwell::sim::SimulatorShell shell(settings, paths);
  // The guide shows the station as it fits a small laptop's screen.
  const QRect laptop(0, 0, 1280, 800);
  shell.fitInto(screenshots.empty() ? shell.screen()->availableGeometry() : laptop);
  if (!screenshots.empty()) return takeScreenshots(shell, laptop, QString::fromStdString(screenshots));
  shell.show();
  return app.exec();
}
