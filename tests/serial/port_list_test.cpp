// The port listing over a fake sysfs/dev tree laid out like a current kernel's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "serial/port_list_posix.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file, const std::string& text = "") {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

void Link(const fs::path& from, const fs::path& to) {
  fs::create_directories(from.parent_path());
  fs::create_directory_symlink(to, from);
}

TEST(PortList, ListsRealDevicesWithDriverAndAlias) {
  TempDir dir;
  const fs::path root = dir.path();
  const fs::path tty = root / "sys/class/tty";
  const fs::path devices = root / "sys/devices";
  const fs::path drivers = root / "sys/bus";
  for (const char* d : {"usb-serial/drivers/ftdi_sio", "serial-base/drivers/port", "serial-base/drivers/ctrl",
                        "pnp/drivers/serial"}) {
    fs::create_directories(drivers / d);
  }

  // A USB adapter with a by-id alias; its USB device sits two levels above the tty.
  Link(devices / "usb1/1-1/1-1:1.0/ttyUSB0/driver", drivers / "usb-serial/drivers/ftdi_sio");
  Touch(devices / "usb1/1-1/idVendor", "0403\n");
  Touch(devices / "usb1/1-1/idProduct", "6001\n");
  Touch(devices / "usb1/1-1/serial", "A1\n");
  Touch(devices / "usb1/1-1/product", "FT232R USB UART\n");
  Link(tty / "ttyUSB0/device", devices / "usb1/1-1/1-1:1.0/ttyUSB0");
  // A built-in UART behind the serial-base layer: the driver above it counts.
  Link(devices / "pnp0/00:01/driver", drivers / "pnp/drivers/serial");
  Link(devices / "pnp0/00:01/00:01:0/driver", drivers / "serial-base/drivers/ctrl");
  Link(devices / "pnp0/00:01/00:01:0/00:01:0.0/driver", drivers / "serial-base/drivers/port");
  Link(tty / "ttyS0/device", devices / "pnp0/00:01/00:01:0/00:01:0.0");
  Touch(tty / "ttyS0/type", "4\n");
  Touch(devices / "idVendor", "ffff\n");  // five levels above ttyS0: too far to be its adapter
  // An empty UART slot, and a virtual terminal: both left out.
  Link(tty / "ttyS1/device", devices / "pnp0/00:01/00:01:0/00:01:0.0");
  Touch(tty / "ttyS1/type", "0\n");
  fs::create_directories(tty / "tty0");
  // A driver five levels above the tty is not its own.
  fs::create_directories(devices / "a/b/c/d/e");
  Link(devices / "a/driver", drivers / "pnp/drivers/serial");
  Link(tty / "ttyX0/device", devices / "a/b/c/d/e");

  for (const char* name : {"ttyUSB0", "ttyS0", "ttyS1", "tty0", "ttyX0"}) Touch(root / "dev" / name);
  fs::create_directories(root / "dev/serial/by-id");
  fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");

  auto ports = ListSerialPortsUnder(tty, root / "dev", root / "dev/serial/by-id");
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[2].device + "|" + ports[2].driver, (root / "dev/ttyX0").string() + "|");
  EXPECT_EQ(ports[0].device, (root / "dev/ttyS0").string());
  EXPECT_EQ(ports[0].driver, "serial");
  EXPECT_EQ(ports[0].usb_id, "");
  EXPECT_EQ(ports[1].device, (root / "dev/ttyUSB0").string());
  EXPECT_EQ(ports[1].driver, "ftdi_sio");
  EXPECT_EQ(ports[1].by_id, (root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0").string());
  EXPECT_EQ(ports[1].usb_id, "0403:6001");
  EXPECT_EQ(ports[1].serial, "A1");
  EXPECT_EQ(ports[1].product, "FT232R USB UART");
}

TEST(PortList, ResolvesUsbSerialToExactlyOneDevice) {
  const std::vector<PortInfo> ports = {
      {"/dev/ttyUSB0", "", "ftdi_sio", "0403:6001", "A1", ""},
      {"/dev/ttyUSB1", "", "ftdi_sio", "0403:6001", "B2", ""},
      {"/dev/ttyUSB2", "", "ftdi_sio", "0403:6001", "B2", ""},
      {"/dev/ttyS0", "", "serial", "", "", ""},
  };
  struct Case { std::string serial, device, error; } cases[] = {
      {"A1", "/dev/ttyUSB0", ""},
      {"", "", "no USB serial adapter with serial number '' is plugged in"},
      {"B2", "", "several USB serial adapters carry serial number 'B2': /dev/ttyUSB1 /dev/ttyUSB2"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ResolveUsbSerial(c.serial, ports, error), c.device) << c.serial;
    EXPECT_EQ(error, c.error) << c.serial;
  }
}

}  // namespace
