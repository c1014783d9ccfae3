// The simulated station's bench: plugs and unplugs the interface and sensor, sets
// the sensor's inputs and noise, and injects faults.
#include "sim/station/qt/bench_panel.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLocale>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "link/requests.h"
#include "sim/station/simulated_station.h"

namespace trimwell::sim {
namespace {

class BenchPanel : public QWidget {
 public:
  BenchPanel(SimulatedStation& station, const QString& library, QWidget* parent)
      : QWidget(parent), station_(station), library_(library) {
    setWindowTitle(QStringLiteral("Trimwell bench"));
    setObjectName(QStringLiteral("bench"));
    // Numbers as the station beside it writes them, with a decimal point in any
    // language: "0,0000" here would stand next to "-20.0000 °C" there.
    setLocale(QLocale::c());
    auto* top = new QVBoxLayout(this);
    top->addWidget(interfaceBox());
    top->addWidget(wirelessBox());
    top->addWidget(referenceBox());
    top->addWidget(sensorBox());
    top->addWidget(inputsBox());
    top->addWidget(faultBox());
    top->addStretch(1);
  }

 private:
  // As wide as the longest entry: a file name cut short could be another file's.
  static void fitToEntries(QComboBox* box) { box->setSizeAdjustPolicy(QComboBox::AdjustToContents); }

  static std::pair<QPushButton*, QPushButton*> buttonPair(QGroupBox* box, QFormLayout* form, const QString& first,
                                                          const QString& second) {
    auto* buttons = new QHBoxLayout;
    auto* a = new QPushButton(first, box);
    auto* b = new QPushButton(second, box);
    buttons->addWidget(a);
    buttons->addWidget(b);
    form->addRow(buttons);
    return {a, b};
  }

  static std::pair<QPushButton*, QPushButton*> plugButtons(QGroupBox* box, QFormLayout* form, const QString& what) {
    auto buttons = buttonPair(box, form, QStringLiteral("Plug"), QStringLiteral("Unplug"));
    buttons.first->setObjectName(QStringLiteral("plug") + what);
    buttons.second->setObjectName(QStringLiteral("unplug") + what);
    return buttons;
  }

  QGroupBox* interfaceBox() {
    auto* box = new QGroupBox(QStringLiteral("Interface (Dockmon)"), this);
    auto* form = new QFormLayout(box);
    auto* version = new QComboBox(box);
    version->setObjectName(QStringLiteral("firmware"));
    version->addItems({QStringLiteral("1.7"), QStringLiteral("1.8"), QStringLiteral("2.0")});
    form->addRow(QStringLiteral("Firmware"), version);
    auto [plug, unplug] = plugButtons(box, form, QStringLiteral("Interface"));
    connect(plug, &QPushButton::clicked, this, [this, version] {
      const QStringList parts = version->currentText().split('.');
      station_.plugInterface(0x0002, parts[0].toInt(), parts[1].toInt());
    });
    connect(unplug, &QPushButton::clicked, this, [this] { station_.unplugInterface(); });
    return box;
  }

  // The wireless interface on a pseudo-terminal: the station finds it once its port
  // is chosen in the station's Wireless port chooser and no Dockmon is plugged.
  QGroupBox* wirelessBox() {
    auto* box = new QGroupBox(QStringLiteral("Wireless interface (Ventrix)"), this);
    auto* form = new QFormLayout(box);
    auto* port = new QLabel(QStringLiteral("off"), box);
    port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Port"), port);
    auto [on, off] = buttonPair(box, form, QStringLiteral("On"), QStringLiteral("Off"));
    connect(on, &QPushButton::clicked, this, [this, port] {
      const bool started = station_.switchWirelessOn();
      port->setText(started ? QString::fromStdString(station_.wireless()->portPath())
                            : QStringLiteral("no pseudo-terminal"));
      rebuildInputs();
    });
    connect(off, &QPushButton::clicked, this, [this, port] {
      station_.switchWirelessOff();
      port->setText(QStringLiteral("off"));
      rebuildInputs();
    });
    return box;
  }

  // The reference instrument, speaking SCPI on a pseudo-terminal and a loopback
  // port at once: chosen under Settings > Reference instrument..., it reads the
  // true value set here, and can be made to misbehave.
  QGroupBox* referenceBox() {
    ReferenceInstrument& meter = station_.referenceInstrument();
    auto* box = new QGroupBox(QStringLiteral("Reference instrument (SCPI)"), this);
    auto* form = new QFormLayout(box);
    auto* where = new QLabel(QStringLiteral("off"), box);
    where->setObjectName(QStringLiteral("referenceWhere"));
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Port, address"), where);
    auto* value = new QDoubleSpinBox(box);
    value->setObjectName(QStringLiteral("referenceValue"));
    value->setRange(-1e6, 1e6);
    value->setDecimals(4);
    value->setValue(20.0);
    meter.setTrueValue(20.0);
    auto* mode = new QComboBox(box);
    mode->setObjectName(QStringLiteral("referenceMode"));
    mode->addItems({QStringLiteral("answers"), QStringLiteral("silent"), QStringLiteral("slow"),
                    QStringLiteral("garbled"), QStringLiteral("in error"), QStringLiteral("not a number")});
    auto* row = new QHBoxLayout;
    row->addWidget(value, 1);
    row->addWidget(mode);
    form->addRow(QStringLiteral("True value"), row);
    connect(value, &QDoubleSpinBox::valueChanged, this, [&meter](double v) { meter.setTrueValue(v); });
    connect(mode, &QComboBox::currentIndexChanged, this,
            [&meter](int index) { meter.setMode(static_cast<ReferenceInstrument::Mode>(index)); });
    auto [on, off] = buttonPair(box, form, QStringLiteral("On"), QStringLiteral("Off"));
    on->setObjectName(QStringLiteral("referenceOn"));
    connect(on, &QPushButton::clicked, this, [&meter, where] {
      where->setText(meter.switchOn() ? QString::fromStdString(meter.portPath() + "\n" + meter.address())
                                      : QStringLiteral("no pseudo-terminal or port"));
    });
    connect(off, &QPushButton::clicked, this, [&meter, where] {
      meter.switchOff();
      where->setText(QStringLiteral("off"));
    });
    return box;
  }

  QGroupBox* sensorBox() {
    auto* box = new QGroupBox(QStringLiteral("Sensor"), this);
    auto* form = new QFormLayout(box);
    files_ = new QComboBox(box);
    files_->setObjectName(QStringLiteral("sensorFile"));
    fitToEntries(files_);
    const QDir library(library_);
    for (const QString& name : library.entryList({QStringLiteral("*.sds")}, QDir::Files)) {
      files_->addItem(name, library.filePath(name));
    }
    files_->addItem(QStringLiteral("Other file..."), QString());
    const int probe = files_->findText(QStringLiteral("thermal_probe_221.sds"));
    if (probe >= 0) files_->setCurrentIndex(probe);
    form->addRow(QStringLiteral("Datasheet"), files_);
    auto [plug, unplug] = plugButtons(box, form, QStringLiteral("Sensor"));
    connect(plug, &QPushButton::clicked, this, [this] {
      QString path = files_->currentData().toString();
      if (path.isEmpty()) path = QFileDialog::getOpenFileName(this, QStringLiteral("Sensor datasheet"), QString(),
                                                              QStringLiteral("Datasheets (*.sds);;All files (*)"));
      if (!path.isEmpty() && station_.plugSensor(path.toStdString())) rebuildInputs();
    });
    connect(unplug, &QPushButton::clicked, this, [this] {
      station_.unplugSensor();
      rebuildInputs();
    });
    return box;
  }

  QGroupBox* inputsBox() {
    inputs_ = new QGroupBox(QStringLiteral("Sensor inputs"), this);
    inputs_->setObjectName(QStringLiteral("sensorInputs"));
    inputsForm_ = new QFormLayout(inputs_);
    return inputs_;
  }

  void rebuildInputs() {
    while (inputsForm_->rowCount() > 0) inputsForm_->removeRow(0);
    // The sensor's inputs, read while the wireless interface's thread keeps off it.
    std::vector<std::pair<int, QString>> inputs;
    bool plugged = false;
    station_.withSensor([&](SimulatedSensor* sensor) {
      plugged = sensor != nullptr;
      if (sensor == nullptr) return;
      const Datasheet& layout = sensor->layout();
      for (int i = 0; i < layout.measurementCount && i < kMaxMeasurements; ++i) {
        const Measurement* m = layout.measurement(i);
        if (m == nullptr || m->type.inputCount != 0 || m->type.sampleSize <= 0) continue;
        inputs.emplace_back(m->id, QString::fromUtf16(m->primaryText.text.data(),
                                                      static_cast<qsizetype>(m->primaryText.text.size())));
      }
    });
    if (!plugged) return;
    for (const auto& [id, name] : inputs) {
      auto* value = new QDoubleSpinBox(inputs_);
      value->setRange(-1e6, 1e6);
      value->setDecimals(4);
      connect(value, &QDoubleSpinBox::valueChanged, this, [this, id = id](double v) {
        station_.withSensor([id, v](SimulatedSensor* s) {
          if (s != nullptr) s->setInput(id, v);
        });
      });
      inputsForm_->addRow(name + QStringLiteral(" (%1)").arg(id), value);
    }
    auto* noise = new QDoubleSpinBox(inputs_);
    noise->setRange(0, 1000);
    noise->setDecimals(4);
    connect(noise, &QDoubleSpinBox::valueChanged, this, [this](double sigma) {
      station_.withSensor([sigma](SimulatedSensor* s) {
        if (s != nullptr) s->setNoise(sigma);
      });
    });
    inputsForm_->addRow(QStringLiteral("Noise (sigma)"), noise);
  }

  QGroupBox* faultBox() {
    auto* box = new QGroupBox(QStringLiteral("Faults"), this);
    auto* form = new QFormLayout(box);
    auto* code = new QComboBox(box);
    code->setObjectName(QStringLiteral("faultRequest"));
    fitToEntries(code);
    for (const RequestInfo& request : requestTable()) {
      const QString hex = QString::number(int{request.code}, 16).toUpper().rightJustified(2, QLatin1Char('0'));
      code->addItem(QStringLiteral("0x%1 %2").arg(hex, QString::fromUtf8(request.name)), int{request.code});
    }
    auto* count = new QSpinBox(box);
    count->setObjectName(QStringLiteral("faultCount"));
    count->setRange(1, 100);
    form->addRow(QStringLiteral("Request"), code);
    form->addRow(QStringLiteral("Next"), count);
    auto* buttons = new QHBoxLayout;
    for (const char* kind : {"Fail", "Short", "Corrupt"}) {
      auto* button = new QPushButton(QString::fromUtf8(kind), box);
      button->setObjectName(QStringLiteral("fault") + QString::fromUtf8(kind));
      buttons->addWidget(button);
      const std::string which = kind;
      connect(button, &QPushButton::clicked, this, [this, code, count, which] {
        SimulatedInterface* interface = station_.interface();
        if (interface == nullptr) return;
        const int key = code->currentData().toInt();
        if (which == "Fail") interface->failNext(key, count->value());
        if (which == "Short") interface->shortNext(key, count->value());
        if (which == "Corrupt") interface->corruptNext(key, count->value());
      });
    }
    form->addRow(buttons);
    return box;
  }

  SimulatedStation& station_;
  QString library_;
  QComboBox* files_ = nullptr;
  QGroupBox* inputs_ = nullptr;
  QFormLayout* inputsForm_ = nullptr;
};

}  // namespace

QWidget* makeBenchPanel(SimulatedStation& station, const std::string& library, QWidget* parent) {
  return new BenchPanel(station, QString::fromStdString(library), parent);
}

}  // namespace trimwell::sim
