#include "ui/PortList.h"

#include <libserialport.h>

#include <memory>

namespace quillon::ui {

namespace {

struct PortListDeleter {
    void operator()(sp_port** ports) const { sp_free_port_list(ports); }
};

// A few chips of each programming method; any other catalogue chip can be typed as "sim:<name>".
constexpr const char* kSimulated[] = {"sim:ATmega8", "sim:ATmega2560", "sim:ATmega169", "sim:AT90S2313",
                                      "sim:ATtiny2313", "sim:ATtiny85"};

}  // namespace

QStringList PortList()
{
    QStringList names;
    for (int i = 1; i <= 10; ++i) names << QStringLiteral("COM%1").arg(i);
    sp_port** raw = nullptr;
    if (sp_list_ports(&raw) == SP_OK && raw) {
        std::unique_ptr<sp_port*, PortListDeleter> ports(raw);
        for (sp_port** port = raw; *port; ++port)
            if (const char* name = sp_get_port_name(*port)) names << QString::fromLocal8Bit(name);
    }
    for (const char* name : kSimulated) names << QString::fromLatin1(name);
    return names;
}

}  // namespace quillon::ui
