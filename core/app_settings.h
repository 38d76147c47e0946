#pragma once
// The global settings, stored as attributes of config.xml's root element.

#include "core/fixed_text.h"

namespace zk {

struct AppSettings {
    FixedText<5> auto_startup;    // "1"/"0": start with the desktop session
    FixedText<5> monitor_router;  // stored and written back only
    FixedText<5> use_ie_setting;  // "1"/"0": HTTP-proxy mappings chain to the system proxy
    FixedText<5> voice_notify;    // "1"/"0": alert sound when a peer is refused
    FixedText<25> web_listen_port;
    FixedText<5> protect;  // "1"/"0": the web interface asks for credentials
    FixedText<100> user_name;
    FixedText<100> password;
    FixedText<5> enable_web;  // "1"/"0": start the web interface with the program
    FixedText<5> top_window;  // "1"/"0": show the floating traffic window

    bool operator==(const AppSettings&) const = default;
};

}  // namespace zk
