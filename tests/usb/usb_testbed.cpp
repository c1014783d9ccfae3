// usb-testbed: runs a command on an emulated USB bus.
//
//   usb-testbed [--device PORT:VID:PID[:dockmon]]... [--sensor FILE] [--log FILE]
//               [--vanish-on REQUEST] [--short-out] -- COMMAND [ARGS...]
//
// Each --device is a umockdev device on bus 1 (PORT is its port path, 1-2 say) whose
// usbfs node is answered here: control URBs are taken on submit and handed back on
// reap, as the kernel does. A dockmon device answers vendor requests as the
// simulated Dockmon, with the sensor of --sensor plugged; any other device stalls
// them. Every vendor control transfer is written to --log as
// "PORT bmRequestType bRequest wValue wIndex wLength DATA" (hex), PORT being the
// device's port path. --vanish-on makes the
// dockmon leave the bus when that vendor request arrives; --short-out makes every
// OUT transfer move half of its bytes. The command runs with libumockdev's preload
// and the testbed's folder, so that libusb sees only these devices; the testbed
// exits with the command's status.

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <glib/gstdio.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/vendor_request.h"
#include "platform/usb_driver.h"
#include "sim/simulated_interface.h"
#include "sim/simulated_sensor.h"

namespace {

using trimwell::VendorRequestBlock;

constexpr std::uint8_t kStandardGetStatus = 0x00;

struct Options {
  struct Device {
    std::string port;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool dockmon = false;
  };
  std::vector<Device> devices;
  std::string sensorFile;
  std::string logFile;
  int vanishOn = -1;
  bool shortOut = false;
  std::vector<std::string> command;
};

struct Bus;

struct EmulatedDevice {
  Bus* bus = nullptr;
  std::string port;
  std::string syspath;
  std::string node;  // the device node's file in the testbed's folder
  std::unique_ptr<trimwell::sim::SimulatedInterface> dockmon;  // null: a foreign device
  // URBs waiting to be reaped, per open file: libusb reaps on every open handle of a
  // device, and a URB must come back on the one that submitted it.
  std::map<UMockdevIoctlClient*, std::deque<UMockdevIoctlData*>> answered;
  bool gone = false;
};

struct Bus {
  UMockdevTestbed* testbed = nullptr;
  std::FILE* log = nullptr;
  Options options;
  std::vector<std::unique_ptr<EmulatedDevice>> devices;
  std::vector<UMockdevIoctlData*> reaped;  // kept until the end: the client may still be syncing them
};

std::vector<std::uint8_t> descriptors(std::uint16_t vendor, std::uint16_t product) {
  return {18,   1,    0x00, 0x02, 0xFF, 0xFF, 0xFF, 64,   static_cast<std::uint8_t>(vendor),
          static_cast<std::uint8_t>(vendor >> 8), static_cast<std::uint8_t>(product),
          static_cast<std::uint8_t>(product >> 8), 0x00, 0x01, 1, 2, 0, 1,
          // one configuration with one vendor-specific interface and no endpoints
          9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
}

void logTransfer(const EmulatedDevice& device, const std::uint8_t* setup, const std::uint8_t* data, int moved) {
  Bus& bus = *device.bus;
  if (bus.log == nullptr) return;
  std::fprintf(bus.log, "%s %02x %02x %04x %04x %u ", device.port.c_str(), setup[0], setup[1], setup[2] | setup[3] << 8,
               setup[4] | setup[5] << 8, static_cast<unsigned>(setup[6] | setup[7] << 8));
  for (int i = 0; i < moved; ++i) std::fprintf(bus.log, "%02x", data[i]);
  std::fputc('\n', bus.log);
  std::fflush(bus.log);
}

// One control transfer: status 0 and the bytes moved, or a negative errno (a stall
// is -EPIPE, as the kernel reports it).
int controlTransfer(EmulatedDevice& device, const std::uint8_t* setup, std::uint8_t* data, int& moved) {
  moved = 0;
  const bool in = (setup[0] & 0x80) != 0;
  const int type = (setup[0] >> 5) & 3;
  const std::size_t length = setup[6] | setup[7] << 8;
  if (type == 0) {
    if (setup[1] != kStandardGetStatus || !in) return -EPIPE;
    std::memset(data, 0, std::min<std::size_t>(length, 2));
    moved = static_cast<int>(std::min<std::size_t>(length, 2));
    return 0;
  }
  if (!device.dockmon) return -EPIPE;
  VendorRequestBlock block;
  block.direction = in ? VendorRequestBlock::kDeviceToHost : VendorRequestBlock::kHostToDevice;
  block.requestType = static_cast<std::uint8_t>(type);
  block.recipient = static_cast<std::uint8_t>(setup[0] & 0x1F);
  block.request = setup[1];
  block.value = static_cast<std::uint16_t>(setup[2] | setup[3] << 8);
  block.index = static_cast<std::uint16_t>(setup[4] | setup[5] << 8);
  const auto bytes = block.toBytes();
  std::size_t returned = 0;
  std::uint32_t error = 0;
  if (!device.dockmon->handle(trimwell::kControlVendorRequest, bytes.data(), bytes.size(), data, length, returned,
                              error)) {
    logTransfer(device, setup, data, 0);
    return -static_cast<int>(error);
  }
  moved = static_cast<int>(returned);
  if (!in && device.bus->options.shortOut && length > 1) moved = static_cast<int>(length / 2);
  logTransfer(device, setup, data, moved);
  return 0;
}

void complete(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

// The ioctl's argument is the client's pointer; this is the memory it points to.
UMockdevIoctlData* pointee(UMockdevIoctlData* arg, gsize length) {
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, length, &error);
  g_clear_error(&error);
  return data;
}

gboolean submitUrb(EmulatedDevice& device, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* urbData = pointee(arg, sizeof(usbdevfs_urb));
  if (urbData == nullptr) {
    complete(client, -1, EFAULT);
    return TRUE;
  }
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  if (device.gone) {
    complete(client, -1, ENODEV);
    return TRUE;
  }
  if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < 8) {
    complete(client, -1, EINVAL);
    return TRUE;
  }
  GError* error = nullptr;
  UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                          static_cast<gsize>(urb->buffer_length), &error);
  if (buffer == nullptr) {
    g_clear_error(&error);
    complete(client, -1, EFAULT);
    return TRUE;
  }
  urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const std::uint8_t* setup = buffer->data;
  const bool vanish = device.dockmon && ((setup[0] >> 5) & 3) == 2 && setup[1] == device.bus->options.vanishOn;
  if (vanish) {
    // Pulled mid-transfer: this one and every later one finds no device.
    device.gone = true;
    umockdev_testbed_uevent(device.bus->testbed, device.syspath.c_str(), "remove");
    umockdev_testbed_remove_device(device.bus->testbed, device.syspath.c_str());
    g_unlink(device.node.c_str());
    complete(client, -1, ENODEV);
    return TRUE;
  }
  int moved = 0;
  urb->status = controlTransfer(device, setup, buffer->data + 8, moved);
  urb->actual_length = moved;
  g_object_ref(urbData);
  device.answered[client].push_back(urbData);
  complete(client, 0, 0);
  return TRUE;
}

// The URB goes back by its address, written into the client's pointer slot.
gboolean reapUrb(EmulatedDevice& device, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  auto& queue = device.answered[client];
  if (queue.empty()) {
    complete(client, -1, device.gone ? ENODEV : EAGAIN);
    return TRUE;
  }
  UMockdevIoctlData* urb = queue.front();
  queue.pop_front();
  UMockdevIoctlData* slot = pointee(arg, sizeof(void*));
  if (slot == nullptr) {
    complete(client, -1, EFAULT);
    return TRUE;
  }
  umockdev_ioctl_data_set_ptr(slot, 0, urb);
  device.bus->reaped.push_back(urb);
  complete(client, 0, 0);
  return TRUE;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  auto& device = *static_cast<EmulatedDevice*>(user);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = pointee(arg, sizeof(std::uint32_t));
      if (caps != nullptr) std::memset(caps->data, 0, sizeof(std::uint32_t));
      complete(client, caps != nullptr ? 0 : -1, caps != nullptr ? 0 : EFAULT);
      return TRUE;
    }
    case USBDEVFS_SUBMITURB: return submitUrb(device, client, arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: return reapUrb(device, client, arg);
    case USBDEVFS_DISCARDURB: complete(client, -1, EINVAL); return TRUE;
    default: complete(client, -1, ENOTTY); return TRUE;
  }
}

bool parseHex(const std::string& text, std::uint16_t& out) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (text.empty() || *end != '\0' || value > 0xFFFF) return false;
  out = static_cast<std::uint16_t>(value);
  return true;
}

bool parseDevice(const std::string& text, Options::Device& device) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t colon; (colon = text.find(':', from)) != std::string::npos; from = colon + 1) {
    parts.push_back(text.substr(from, colon - from));
  }
  parts.push_back(text.substr(from));
  if (parts.size() < 3 || parts.size() > 4) return false;
  device.port = parts[0];
  device.dockmon = parts.size() == 4 && parts[3] == "dockmon";
  return parseHex(parts[1], device.vendor) && parseHex(parts[2], device.product) &&
         (parts.size() == 3 || device.dockmon);
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--") {
      options.command.assign(argv + i + 1, argv + argc);
      return !options.command.empty();
    }
    if (arg == "--device" && hasValue) {
      Options::Device device;
      if (!parseDevice(argv[++i], device)) return false;
      options.devices.push_back(device);
    } else if (arg == "--sensor" && hasValue) {
      options.sensorFile = argv[++i];
    } else if (arg == "--log" && hasValue) {
      options.logFile = argv[++i];
    } else if (arg == "--vanish-on" && hasValue) {
      options.vanishOn = static_cast<int>(std::strtol(argv[++i], nullptr, 0));
    } else if (arg == "--short-out") {
      options.shortOut = true;
    } else {
      return false;
    }
  }
  return false;
}

void addDevice(Bus& bus, const Options::Device& wanted, const char* hub, int devnum) {
  auto device = std::make_unique<EmulatedDevice>();
  device->bus = &bus;
  device->port = wanted.port;
  char devnode[64];
  std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/001/%03d", devnum);
  const std::string busnum = "1", number = std::to_string(devnum);
  gchar* syspath = umockdev_testbed_add_device(bus.testbed, "usb", wanted.port.c_str(), hub, "busnum", busnum.c_str(),
                                               "devnum", number.c_str(), "speed", "480", "bConfigurationValue", "1",
                                               nullptr, "DEVNAME", devnode, "DEVTYPE", "usb_device", nullptr);
  device->syspath = syspath;
  g_free(syspath);
  auto bytes = descriptors(wanted.vendor, wanted.product);
  umockdev_testbed_set_attribute_binary(bus.testbed, device->syspath.c_str(), "descriptors", bytes.data(),
                                        static_cast<gint>(bytes.size()));
  if (wanted.dockmon) {
    device->dockmon = std::make_unique<trimwell::sim::SimulatedInterface>(wanted.vendor, wanted.product, 1, 8);
    device->dockmon->keepLog = false;
    if (!bus.options.sensorFile.empty()) {
      device->dockmon->plugSensor(trimwell::sim::SimulatedSensor::fromFile(bus.options.sensorFile));
    }
  }
  // The node itself, as umockdev makes it for a recorded device: a plain file in
  // the testbed's /dev, whose opens the preload then hands to the handler below.
  gchar* root = umockdev_testbed_get_root_dir(bus.testbed);
  gchar* node = g_build_filename(root, devnode, nullptr);
  gchar* folder = g_path_get_dirname(node);
  g_mkdir_with_parents(folder, 0755);
  g_file_set_contents(node, "", 0, nullptr);
  device->node = node;
  g_free(folder);
  g_free(node);
  g_free(root);
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), device.get());
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(bus.testbed, devnode, handler, &error)) {
    std::fprintf(stderr, "usb-testbed: cannot attach %s: %s\n", devnode, error->message);
    std::exit(2);
  }
  bus.devices.push_back(std::move(device));
}

struct ChildExit {
  GMainLoop* loop;
  int status;
};

}  // namespace

int main(int argc, char** argv) {
  // The testbed's own calls look at /sys through the preload too: run under it.
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload == nullptr || std::strstr(preload, "libumockdev-preload") == nullptr) {
    setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
    execv("/proc/self/exe", argv);
    std::perror("usb-testbed: cannot restart under the umockdev preload");
    return 2;
  }
  Bus bus;
  if (!parseOptions(argc, argv, bus.options)) {
    std::fprintf(stderr,
                 "usage: usb-testbed [--device PORT:VID:PID[:dockmon]]... [--sensor FILE] [--log FILE] "
                 "[--vanish-on REQUEST] [--short-out] -- COMMAND [ARGS...]\n");
    return 2;
  }
  if (!bus.options.logFile.empty()) bus.log = std::fopen(bus.options.logFile.c_str(), "w");
  bus.testbed = umockdev_testbed_new();
  // The root hub of bus 1, which the devices' port paths hang from.
  gchar* hub = umockdev_testbed_add_device(bus.testbed, "usb", "usb1", nullptr, "busnum", "1", "devnum", "1", "speed",
                                           "480", "bConfigurationValue", "1", nullptr, "DEVNAME",
                                           "/dev/bus/usb/001/001", "DEVTYPE", "usb_device", nullptr);
  auto hubBytes = descriptors(0x1D6B, 0x0002);
  umockdev_testbed_set_attribute_binary(bus.testbed, hub, "descriptors", hubBytes.data(),
                                        static_cast<gint>(hubBytes.size()));
  int devnum = 2;
  for (const auto& wanted : bus.options.devices) addDevice(bus, wanted, hub, devnum++);

  gchar** env = g_get_environ();
  env = g_environ_setenv(env, "LD_PRELOAD", "libumockdev-preload.so.0", TRUE);
  if (!bus.options.logFile.empty()) env = g_environ_setenv(env, "TRIMWELL_USB_LOG", bus.options.logFile.c_str(), TRUE);
  std::vector<gchar*> command;
  for (auto& word : bus.options.command) command.push_back(word.data());
  command.push_back(nullptr);
  GPid child = 0;
  GError* error = nullptr;
  if (!g_spawn_async(nullptr, command.data(), env, static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH),
                     nullptr, nullptr, &child, &error)) {
    std::fprintf(stderr, "usb-testbed: cannot start %s: %s\n", command[0], error->message);
    return 2;
  }
  g_strfreev(env);
  ChildExit exit{g_main_loop_new(nullptr, FALSE), 0};
  g_child_watch_add(
      child,
      [](GPid pid, gint status, gpointer data) {
        auto* done = static_cast<ChildExit*>(data);
        done->status = status;
        g_spawn_close_pid(pid);
        g_main_loop_quit(done->loop);
      },
      &exit);
  g_main_loop_run(exit.loop);
  g_main_loop_unref(exit.loop);
  for (UMockdevIoctlData* urb : bus.reaped) g_object_unref(urb);
  g_free(hub);
  if (bus.log != nullptr) std::fclose(bus.log);
  g_object_unref(bus.testbed);
  if (WIFEXITED(exit.status)) return WEXITSTATUS(exit.status);
  return 1;
}
