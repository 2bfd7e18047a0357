#pragma once
// One serial device that fwsend can open, as fwsend-ports reports it: the
// options that name it, what it is, and whether this user can open it now.

#include <optional>
#include <string>

namespace fwsend {

enum class PortState {
    Free,          // nothing holds it and this user may open it
    InUse,         // another process holds it (holderPid, when known)
    NoPermission,  // this user may not open it
    Unknown,       // not found out (Windows)
};

// The -T1/-T2 way to a USB converter: by its description.
struct DescribedLink {
    int type = 0;             // the -T value of the link (see app/transport_choice.h)
    std::string description;  // what -D must say, exactly
    unsigned rank = 1;        // 1 for the first of the devices with this description, ...
    unsigned sameCount = 1;   // how many devices have this description
    bool firstOnly = false;   // the link takes the first so described, free or not;
                              // else the first that no other program holds
};

struct PortEntry {
    std::string device;        // /dev/ttyUSB0, or COM3 on Windows
    std::string comOption;     // -COMttyUSB0, -COM1; empty when -COM cannot name it
    std::string driver;        // ftdi_sio, cdc_acm, serial, ...
    std::string uart;          // an on-board UART's chip type: 16550A, ...
    std::string vendorId;      // a USB device's idVendor, 4 hex digits
    std::string productId;     // a USB device's idProduct
    std::string product;       // a USB device's product string
    std::string serialNumber;  // a USB device's serial number string, when it has one
    std::string byPathName;    // its /dev/serial/by-path/ name, when udev made one, as a path:
                               // /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0
    std::optional<DescribedLink> link;
    PortState state = PortState::Unknown;
    std::optional<long> holderPid;
    std::string holderName;  // the holder's command name, when known
    std::string group;       // NoPermission: the group that may open it, if one may
    std::string owner;       // NoPermission: the user who may open it, if no group may
};

}  // namespace fwsend
